#pragma once

#include "acquire/SessionFormat.h"

#include <QString>

// Its own header so that pulse-record, which has no window, says the same.
namespace Texts {

// An event of a session recording in the window's words; empty for the
// header and time points, which are not shown as events.
inline QString sessionEvent(const SessionFormat::Event &event)
{
    const QString value = event.values.value(0);
    using Kind = SessionFormat::Kind;
    switch (event.kind) {
    case Kind::Start:
        return QStringLiteral("开始");
    case Kind::Stop:
        return value.isEmpty() || value == QLatin1String(SessionFormat::NoRecord)
            ? QStringLiteral("停止")
            : QStringLiteral("停止 记录 %1").arg(value);
    case Kind::Rate:
        return QStringLiteral("采样速率 %1Hz").arg(value);
    case Kind::Gain:
        return QStringLiteral("放大倍率 %1x").arg(value);
    case Kind::Baseline:
        return QStringLiteral("基线 %1").arg(value);
    case Kind::Marker:
        return QStringLiteral("标记 %1").arg(value);
    case Kind::Lost:
        return QStringLiteral("端口断开");
    case Kind::Back:
        return QStringLiteral("端口恢复");
    case Kind::Serial:
        return QStringLiteral("序列号 %1").arg(value);
    case Kind::Gap:
        return QStringLiteral("录制缺失 %1 个采样").arg(value);
    case Kind::Header:
    case Kind::Time:
        break;
    }
    return {};
}

} // namespace Texts
