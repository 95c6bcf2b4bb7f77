#include "QtSerialService.h"

#include "PortDirectory.h"

#include <algorithm>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

QtSerialService::QtSerialService(QObject *parent)
    : SerialService(parent)
{
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialService::handOn);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialService::onError);
}

bool QtSerialService::open(int portNumber, OpenError *why)
{
    close();
    port_.setPortName(PortDirectory::resolve(portNumber));
    if (port_.open(QIODevice::ReadWrite))
        return true;
    if (why) {
        OpenFailure failure = OpenFailure::Other;
        switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError:
            failure = OpenFailure::Missing;
            break;
        case QSerialPort::PermissionError: // on Windows: another program has it
            failure = OpenFailure::InUse;
            break;
        default:
            break;
        }
        *why = {failure, PortDirectory::device(portNumber)};
    }
    port_.clearError();
    return false;
}

void QtSerialService::close()
{
    port_.close();
    // A vanished device's error would otherwise outlive the port.
    port_.clearError();
}

bool QtSerialService::isOpen() const
{
    return port_.isOpen();
}

bool QtSerialService::write(const QByteArray &bytes)
{
    if (!port_.isOpen())
        return false;
    // The pause after a command must come after it on the line, so the bytes
    // go out before write() returns rather than from the event loop.
    if (!pushOut(bytes)) {
        fail();
        return false;
    }
    return port_.isOpen();
}

#ifdef Q_OS_WIN
bool QtSerialService::pushOut(const QByteArray &bytes)
{
    // Written on the port's own handle, past QSerialPort's notifier: an event
    // handle with its low bit set keeps the completion off Qt's completion
    // port, and this write waits on that event alone.
    const HANDLE handle = port_.handle();
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!done)
        return false;
    OVERLAPPED overlapped {};
    overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<quintptr>(done) | 1);
    DWORD written = 0;
    bool ok = WriteFile(handle, bytes.constData(), DWORD(bytes.size()), nullptr, &overlapped) ||
        GetLastError() == ERROR_IO_PENDING;
    if (ok) {
        if (WaitForSingleObject(done, WriteTimeoutMs) != WAIT_OBJECT_0)
            CancelIoEx(handle, &overlapped);
        // Waits for the cancellation too: the OVERLAPPED lives on this stack.
        ok = GetOverlappedResult(handle, &overlapped, &written, TRUE) && written == DWORD(bytes.size());
    }
    CloseHandle(done);
    return ok;
}
#else
bool QtSerialService::pushOut(const QByteArray &bytes)
{
    if (port_.write(bytes) != bytes.size())
        return false;
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(WriteTimeoutMs))
            return false;
    }
    return true;
}
#endif

qint64 QtSerialService::bytesAvailable() const
{
    return port_.isOpen() ? port_.bytesAvailable() : 0;
}

QByteArray QtSerialService::read(qint64 maxBytes)
{
    return port_.isOpen() ? port_.read(maxBytes) : QByteArray();
}

qint64 QtSerialService::read(char *data, qint64 maxBytes)
{
    if (!port_.isOpen())
        return 0;
    return std::max<qint64>(port_.read(data, maxBytes), 0);
}

void QtSerialService::discardInput()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtSerialService::discardOutput()
{
    // write() hands every byte to the driver before it returns, so nothing of
    // ours is pending; what the driver still holds is the restart command
    // just written, which must reach the sensor.
}

void QtSerialService::onError(QSerialPort::SerialPortError error)
{
    // A vanished device keeps reporting errors while the port stays open, so
    // close on the first one and report it once. Errors while opening come
    // before the port is open and are open()'s to report.
    if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError && port_.isOpen())
        fail();
}
