#include "QtSerialService.h"

#include "PortDirectory.h"
#include "Probe.h"

#include <QThread>

QtSerialService::QtSerialService(QObject *parent)
    : SerialService(parent)
{
    port_.setBaudRate(BaudRate);
    port_.setParity(QSerialPort::NoParity);
    port_.setDataBits(QSerialPort::Data8);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    // Unlimited: a limit makes QSerialPort stop reading until the buffer is
    // read, which discarding does not undo. The limit is kept in handOn().
    port_.setReadBufferSize(0);
    connect(&port_, &QSerialPort::readyRead, this, &QtSerialService::onPortReadyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialService::onError);
    // A steady cadence: restarting after each batch would add the batch's
    // own time to every interval.
    tick_.setInterval(TickMs);
    tick_.setTimerType(Qt::PreciseTimer);
    connect(&tick_, &QTimer::timeout, this, &QtSerialService::onTick);
}

QtSerialService::~QtSerialService()
{
    port_.close();
}

bool QtSerialService::open(int portNumber, QString *why)
{
    close();
    port_.setPortName(PortDirectory::resolve(portNumber));
    opening_ = true;
    const bool ok = port_.open(QIODevice::ReadWrite);
    opening_ = false;
    if (!ok && why)
        *why = port_.portName() + QStringLiteral(": ") + port_.errorString();
    port_.clearError();
    readNotifier_ = nullptr;
    if (ok) {
        const auto notifiers = port_.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
        for (QSocketNotifier *n : notifiers) {
            if (n->type() == QSocketNotifier::Read && n->socket() == port_.handle())
                readNotifier_ = n;
        }
    }
    return ok;
}

void QtSerialService::close()
{
    tick_.stop();
    ticking_ = inTick_ = readBetween_ = false;
    quietTicks_ = 0;
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
    // write() hands every byte to the driver before it returns, so nothing of
    // ours is pending. What the driver still queues is the restart command
    // just written: flushing it would leave the sensor stopped, and on a
    // pseudo-terminal tcdrain() does not wait for it. So the line keeps it.
}

void QtSerialService::pause(Pause kind)
{
    QThread::msleep(kind == Pause::Busy ? BusyDelayMs : PortInitDelayMs);
}

void QtSerialService::listen(bool on)
{
    if (readNotifier_)
        readNotifier_->setEnabled(on);
}

void QtSerialService::onPortReadyRead()
{
    if (!readNotifier_) {
        handOn();
        return;
    }
    if (inTick_)
        return; // onTick() hands these on
    if (ticking_) {
        // QSerialPort listens again whenever its buffer is read dry; the
        // next tick hands these on.
        readBetween_ = true;
        listen(false);
        return;
    }
    // The first bytes of a burst: hand them on now, then read on ticks,
    // leaving the line unpolled in between.
    PULSE_PROBE(lineWoke());
    handOn();
    if (port_.isOpen()) {
        ticking_ = true;
        quietTicks_ = 0;
        listen(false);
        tick_.start();
    }
}

void QtSerialService::onTick()
{
    if (!port_.isOpen() || !ticking_)
        return; // a queued tick that outlived its burst
    // Read what the driver collected since the last tick, if anything.
    const qint64 before = port_.bytesAvailable();
    inTick_ = true;
    port_.waitForReadyRead(0);
    inTick_ = false;
    if (!port_.isOpen())
        return;
    const qint64 collected = port_.bytesAvailable() - before;
    if (collected <= 0 && !readBetween_) {
        if (++quietTicks_ < QuietTicks)
            return;
        tick_.stop();
        ticking_ = false;
        listen(true); // quiet: wait for the next byte
        return;
    }
    quietTicks_ = 0;
    readBetween_ = false;
    handOn();
    if (!port_.isOpen())
        return;
    listen(false);
    if (collected >= BacklogBytes) // a flood: read again as soon as events allow
        QMetaObject::invokeMethod(this, &QtSerialService::onTick, Qt::QueuedConnection);
}

void QtSerialService::handOn()
{
    if (port_.bytesAvailable() > 0)
        PULSE_PROBE(bytesCollected());
    emit readyRead();
    // Bytes nobody took are kept up to the receive buffer's size.
    if (port_.isOpen() && port_.bytesAvailable() > InBufferSize)
        port_.skip(port_.bytesAvailable() - InBufferSize);
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
    close();
    port_.clearError();
    emit failed();
}
