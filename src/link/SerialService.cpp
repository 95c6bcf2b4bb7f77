#include "SerialService.h"

#include "PortDirectory.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QThread>
#include <algorithm>

void SerialService::pause(Pause kind)
{
    QThread::msleep(kind == Pause::Busy ? BusyDelayMs : PortInitDelayMs);
}

void SerialService::handOn()
{
    emit readyRead();
    // Bytes nobody took are kept up to the receive buffer's size.
    const qint64 excess = bytesAvailable() - InBufferSize;
    if (excess > 0)
        dropOldest(excess);
}

void SerialService::fail()
{
    if (!isOpen())
        return;
    close();
    emit failed();
}

std::optional<SerialService::Presence> SerialService::present(int portNumber, bool askSerialNumber) const
{
    const QString path = PortDirectory::resolve(portNumber);
    Presence p;
    p.entry = path;
#ifdef Q_OS_WIN
    // The system's port list is the only way to tell that COMn is there.
    Q_UNUSED(askSerialNumber)
    p.device = path;
#else
    // Follows the port folder's link, and a by-id link behind it, to the node.
    p.device = QFileInfo(path).canonicalFilePath();
    if (p.device.isEmpty())
        return std::nullopt;
    if (!askSerialNumber)
        return p;
#endif
    const QList<QSerialPortInfo> known = QSerialPortInfo::availablePorts();
    const auto it = std::find_if(known.begin(), known.end(), [&](const QSerialPortInfo &i) {
        return i.systemLocation() == p.device || i.portName() == path;
    });
    if (it != known.end())
        p.serialNumber = it->serialNumber();
#ifdef Q_OS_WIN
    else
        return std::nullopt;
#endif
    return p;
}
