#include "QtSerialService.h"

#include "PortDirectory.h"

#include <QThread>

#ifdef Q_OS_UNIX
#include <termios.h>
#endif

QtSerialService::QtSerialService(QObject *parent)
    : SerialService(parent)
{
    port_.setBaudRate(BaudRate);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setReadBufferSize(InBufferSize);
    connect(&port_, &QSerialPort::readyRead, this, &SerialService::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialService::onError);
}

QtSerialService::~QtSerialService()
{
    port_.close();
}

bool QtSerialService::open(int portNumber, QString *why)
{
    port_.close();
    port_.setPortName(PortDirectory::resolve(portNumber));
    opening_ = true;
    const bool ok = port_.open(QIODevice::ReadWrite);
    opening_ = false;
    if (!ok && why)
        *why = port_.portName() + QStringLiteral(": ") + port_.errorString();
    port_.clearError();
    return ok;
}

void QtSerialService::close()
{
    port_.close();
}

bool QtSerialService::isOpen() const
{
    return port_.isOpen();
}

bool QtSerialService::write(const QByteArray &bytes)
{
    if (!port_.isOpen())
        return false;
    if (port_.write(bytes) != bytes.size()) {
        fail();
        return false;
    }
    // QSerialPort writes from the event loop; push the bytes out now so that
    // the pause after a command really comes after it on the line.
    port_.flush();
    while (port_.isOpen() && port_.bytesToWrite() > 0) {
        if (!port_.waitForBytesWritten(1000)) {
            fail();
            return false;
        }
    }
    return port_.isOpen();
}

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
    const qint64 n = port_.read(data, maxBytes);
    return n < 0 ? 0 : n;
}

void QtSerialService::discardInput()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void QtSerialService::discardOutput()
{
    if (!port_.isOpen())
        return;
    // The restart command written just before must still reach the sensor:
    // let the driver send what it holds, then drop whatever might remain.
#ifdef Q_OS_UNIX
    ::tcdrain(port_.handle());
#endif
    port_.clear(QSerialPort::Output);
}

void QtSerialService::pause(Pause kind)
{
    QThread::msleep(kind == Pause::Busy ? BusyDelayMs : PortInitDelayMs);
}

void QtSerialService::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || opening_)
        return;
    // A vanished device keeps reporting errors at full speed while the port
    // stays open, so close on the first one and report it once.
    if (port_.isOpen())
        fail();
}

void QtSerialService::fail()
{
    if (!port_.isOpen())
        return;
    port_.close();
    port_.clearError();
    emit failed();
}
