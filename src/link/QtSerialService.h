#pragma once

#include "SerialService.h"

#include <QSerialPort>

// The serial line through QSerialPort, for Windows: 9600 baud, no parity,
// 8 data bits, 1 stop bit, no flow control; control lines left as a fresh
// port has them. Every read is handed on as it comes.
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
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    void fail();

    QSerialPort port_;
};
