#pragma once

#include "SerialService.h"

#include <QSerialPort>

// The serial line through QSerialPort, for Windows: 9600 baud, no parity,
// 8 data bits, 1 stop bit, no flow control; control lines left as a fresh
// port has them. Every read is handed on as it comes.
//
// Writes never use QSerialPort's blocking waits on Windows: in Qt Serial Port
// (6.4 at least) its I/O completion notifier consumes one semaphore count per
// batch of completions but takes the whole batch, so a later wait can wake on
// a stale count and dequeue from an empty queue. While streaming, completions
// arrive in batches, and the next waitForBytesWritten() (the Stop command)
// crashed the program before the record was written.
class QtSerialService final : public SerialService
{
    Q_OBJECT
public:
    explicit QtSerialService(QObject *parent = nullptr);

    bool open(int portNumber, OpenError *why = nullptr) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    qint64 bytesAvailable() const override;
    QByteArray read(qint64 maxBytes) override;
    qint64 read(char *data, qint64 maxBytes) override;
    void discardInput() override;
    void discardOutput() override;

private:
    bool pushOut(const QByteArray &bytes);
    void onError(QSerialPort::SerialPortError error);

    QSerialPort port_;
};
