#pragma once

#include "SerialService.h"

#include <QTimer>
#include <memory>
#include <optional>
#include <vector>

class QLockFile;
class QSocketNotifier;
struct termios;

// The serial line on Unix, on the device itself: 9600 baud, no parity, 8 data
// bits, 1 stop bit, no flow control; control lines left as opening leaves them.
// A port is claimed as QSerialPort claims it (a lock file named after the
// device, then exclusive mode), so no two programs share a line.
//
// Bytes are handed on in batches. The first bytes of a burst wake the program
// and are handed on at once; from then on the line is read on a steady tick
// with nothing listening in between, so a sensor sending one byte at a time
// costs one wake-up per tick rather than one per byte. After QuietTicks ticks
// that find nothing, the line listens for the next byte again.
class PosixSerialLine final : public SerialService
{
    Q_OBJECT
public:
    // About one display frame: every wake-up costs far more than the bytes
    // it reads, and a sample still reaches the screen within a frame.
    static constexpr int TickMs = 15;
    // Quiet ticks before the line listens again: a sensor writing in bursts
    // a little slower than the tick keeps the tick instead of waking twice.
    static constexpr int QuietTicks = 3;
    // A tick that read this much means the line is flooding: read again at once.
    static constexpr qint64 BacklogBytes = 2048;

    explicit PosixSerialLine(QObject *parent = nullptr);
    ~PosixSerialLine() override;

    bool open(int portNumber, OpenError *why = nullptr) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool write(const QByteArray &bytes) override;
    qint64 bytesAvailable() const override { return qint64(received_.size()); }
    QByteArray read(qint64 maxBytes) override;
    qint64 read(char *data, qint64 maxBytes) override;
    void discardInput() override;
    void discardOutput() override;

    // For the benchmark: how often the line woke the program, and how many
    // bytes the program has read from it.
    qint64 wakeUps() const { return wakeUps_; }
    qint64 bytesRead() const { return bytesRead_; }

private:
    std::optional<OpenFailure> openDevice(const QString &path);
    std::optional<OpenFailure> lockDevice(const QString &path);
    OpenFailure abandonOpen(int fd, int error);
    void listen(int fd);
    void onReadable();
    void onTick();
    // Moves what the driver holds into received_: the count, or -1 when the
    // line is gone.
    qint64 collect();
    void dropOldest(qint64 count) override;

    int fd_ = -1;
    std::unique_ptr<termios> saved_; // the device's settings, put back on close
    std::vector<std::unique_ptr<QLockFile>> locks_;
    QSocketNotifier *notifier_ = nullptr;
    QTimer tick_;
    int quietTicks_ = 0;
    std::vector<char> received_; // oldest first
    qint64 wakeUps_ = 0;
    qint64 bytesRead_ = 0;
};
