#pragma once

#include "SerialService.h"

#include <QSerialPort>

// The serial line through QSerialPort: 9600 baud, no parity, 8 data bits,
// 1 stop bit, no flow control; control lines left as a fresh port has them.
class QtSerialService final : public SerialService
{
    Q_OBJECT
public:
    static constexpr qint32 BaudRate = 9600;
    // Received bytes held for the program; beyond this the driver's own
    // buffer holds the rest, as a hardware receive buffer would.
    static constexpr qint64 InBufferSize = 1024;
    static constexpr int BusyDelayMs = 100;
    static constexpr int PortInitDelayMs = 500;

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
    void fail();

    QSerialPort port_;
    bool opening_ = false;
};
