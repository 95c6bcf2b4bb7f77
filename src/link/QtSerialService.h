#pragma once

#include "SerialService.h"

#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

// The serial line through QSerialPort: 9600 baud, no parity, 8 data bits,
// 1 stop bit, no flow control; control lines left as a fresh port has them.
//
// Bytes are handed on in batches. The first bytes of a burst wake the
// program; from then on the line is read on a short tick while bytes keep
// coming, and nothing polls it in between, so a sensor sending one byte at a
// time costs one wake-up per tick rather than one per byte. When a tick finds
// nothing new, the port waits for the next byte again.
class QtSerialService final : public SerialService
{
    Q_OBJECT
public:
    static constexpr qint32 BaudRate = 9600;
    // Received bytes kept for the program while nobody reads them; beyond
    // this the oldest are dropped, as a full receive buffer would.
    static constexpr qint64 InBufferSize = 1024;
    static constexpr int BusyDelayMs = 100;
    static constexpr int PortInitDelayMs = 500;
    // About one display frame: every wake-up costs far more than the bytes
    // it reads, and a sample still reaches the screen within a frame.
    static constexpr int TickMs = 15;
    // Quiet ticks before the port listens again: a sensor writing in bursts
    // a little slower than the tick keeps the tick instead of waking twice.
    static constexpr int QuietTicks = 3;
    // A read this large means the line is flooding: read again at once.
    static constexpr qint64 BacklogBytes = 2048;

    explicit QtSerialService(QObject *parent = nullptr);
    ~QtSerialService() override;

    bool open(int portNumber, QString *why = nullptr) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    qint64 read(char *data, qint64 maxBytes) override;
    void discardInput() override;
    void discardOutput() override;
    void pause(Pause kind) override;

private:
    void onError(QSerialPort::SerialPortError error);
    void onPortReadyRead();
    void onTick();
    void handOn();
    void listen(bool on);
    void fail();

    QSerialPort port_;
    // QSerialPort's own read notifier, paused between ticks. Null if this Qt
    // keeps it elsewhere: then every read is handed on as it comes.
    QPointer<QSocketNotifier> readNotifier_;
    QTimer tick_;
    bool ticking_ = false;     // reading on ticks, not listening in between
    bool inTick_ = false;
    bool readBetween_ = false; // QSerialPort read bytes between two ticks
    int quietTicks_ = 0;
    bool opening_ = false;
};
