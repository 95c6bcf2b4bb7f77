#include "SerialService.h"

#include <QThread>

void SerialService::pause(Pause kind)
{
    QThread::msleep(kind == Pause::Busy ? BusyDelayMs : PortInitDelayMs);
}
