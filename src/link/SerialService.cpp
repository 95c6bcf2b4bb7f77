#include "SerialService.h"

#include <QThread>

QString SerialService::reason(OpenFailure failure, const QString &device)
{
    switch (failure) {
    case OpenFailure::Missing:
        return QStringLiteral("设备 %1 不存在").arg(device);
    case OpenFailure::NoPermission:
        return QStringLiteral("没有打开 %1 的权限，请将用户加入 dialout 组后重新登录").arg(device);
    case OpenFailure::InUse:
        return QStringLiteral("%1 正被另一个程序使用").arg(device);
    case OpenFailure::NotASerialLine:
        return QStringLiteral("%1 不是串口设备").arg(device);
    case OpenFailure::Other:
        break;
    }
    return QStringLiteral("%1 无法打开").arg(device);
}

void SerialService::pause(Pause kind)
{
    QThread::msleep(kind == Pause::Busy ? BusyDelayMs : PortInitDelayMs);
}
