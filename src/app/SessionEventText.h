#pragma once

#include "recording/SessionFormat.h"

#include <QString>

// Its own header so that pulse-record, which has no window, says the same;
// the words it shares with the window's controls stand here, once.
namespace Texts {

inline const QString Start = QStringLiteral("开始");
inline const QString Stop = QStringLiteral("停止");
inline const QString Rate = QStringLiteral("采样速率");
inline const QString Gain = QStringLiteral("放大倍率");
inline const QString Baseline = QStringLiteral("基线");
inline const QString SerialNumber = QStringLiteral("序列号");

// An event of a session recording in the window's words; empty for the
// header and time points, which are not shown as events.
inline QString sessionEvent(const SessionFormat::Event &event)
{
    const QString value = event.values.value(0);
    using Kind = SessionFormat::Kind;
    switch (event.kind) {
    case Kind::Start:
        return Start;
    case Kind::Stop:
        return value.isEmpty() || value == QLatin1String(SessionFormat::NoRecord)
            ? Stop
            : Stop + QStringLiteral(" 记录 %1").arg(value);
    case Kind::Rate:
        return Rate + QStringLiteral(" %1Hz").arg(value);
    case Kind::Gain:
        return Gain + QStringLiteral(" %1x").arg(value);
    case Kind::Baseline:
        return Baseline + QStringLiteral(" %1").arg(value);
    case Kind::Marker:
        return QStringLiteral("标记 %1").arg(value);
    case Kind::Lost:
        return QStringLiteral("端口断开");
    case Kind::Back:
        return QStringLiteral("端口恢复");
    case Kind::Serial:
        return SerialNumber + QStringLiteral(" %1").arg(value);
    case Kind::Gap:
        return QStringLiteral("录制缺失 %1 个采样").arg(value);
    case Kind::Header:
    case Kind::Time:
        break;
    }
    return {};
}

} // namespace Texts
