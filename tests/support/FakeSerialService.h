#pragma once

#include "link/SerialService.h"

#include <QMap>
#include <QSet>
#include <QStringList>
#include <functional>

// A serial line for tests: records every operation in order, as text, and
// lets the test feed received bytes.
//
// Log entries: "open 3", "close", "write 20 34 00", "pause busy",
// "pause init", "discard in", "discard out", "failed". An open port is
// present until it is unplugged; `devices` plugs one back.
class FakeSerialService final : public SerialService
{
    Q_OBJECT
public:
    QStringList log;
    QSet<int> absentPorts;
    QByteArray input;
    int failWriteAfter = -1;                         // writes allowed before the line "fails"
    std::function<void(const QByteArray &)> onWrite; // sees each write as it happens
    QMap<int, Presence> devices;                     // there now, by port number
    mutable int looks = 0;                           // calls of present()

    bool open(int portNumber, OpenError *why = nullptr) override
    {
        log << QStringLiteral("open %1").arg(portNumber);
        if (absentPorts.contains(portNumber)) {
            if (why)
                *why = {OpenFailure::Missing, QStringLiteral("/dev/absent%1").arg(portNumber)};
            return false;
        }
        open_ = true;
        if (!devices.contains(portNumber))
            devices[portNumber] = {
                QStringLiteral("COM%1").arg(portNumber), QStringLiteral("/dev/fake%1").arg(portNumber), {}};
        return true;
    }
    void close() override
    {
        log << QStringLiteral("close");
        open_ = false;
    }
    bool isOpen() const override { return open_; }
    bool write(const QByteArray &bytes) override
    {
        if (!open_)
            return false;
        if (failWriteAfter == 0) {
            unplug();
            return false;
        }
        if (failWriteAfter > 0)
            --failWriteAfter;
        log << QStringLiteral("write ") + QString::fromLatin1(bytes.toHex(' '));
        if (onWrite)
            onWrite(bytes);
        return true;
    }
    qint64 bytesAvailable() const override { return open_ ? input.size() : 0; }
    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray out = input.left(maxBytes);
        input.remove(0, out.size());
        return out;
    }
    qint64 read(char *data, qint64 maxBytes) override
    {
        const QByteArray out = read(maxBytes);
        std::copy(out.begin(), out.end(), data);
        return out.size();
    }
    void discardInput() override
    {
        log << QStringLiteral("discard in");
        input.clear();
    }
    void discardOutput() override { log << QStringLiteral("discard out"); }
    void pause(Pause kind) override
    {
        log << (kind == Pause::Busy ? QStringLiteral("pause busy") : QStringLiteral("pause init"));
    }

    std::optional<Presence> present(int portNumber, bool = true) const override
    {
        ++looks;
        const auto it = devices.find(portNumber);
        return it == devices.end() ? std::nullopt : std::optional<Presence>(*it);
    }

    // Bytes arrive from the sensor.
    void feed(const QByteArray &bytes)
    {
        input += bytes;
        emit readyRead();
    }
    // The device vanishes while open.
    void unplug()
    {
        if (!open_)
            return;
        devices.clear();
        open_ = false;
        log << QStringLiteral("failed");
        emit failed();
    }
    QStringList takeLog()
    {
        QStringList out = log;
        log.clear();
        return out;
    }

private:
    bool open_ = false;
};

// What the fake logs for the sensor's command sequences, and bytes to feed.
namespace FakeLog {

inline const QStringList PortInit = {
    "pause init", "write 20 34 00", "pause init", "write 20 35 00", "pause init", "write 20 37 00",
};

// Stop, pause, the command and its parameter, pause, the old input
// discarded, restart, the output discard.
inline QStringList command(const QString &command, const QString &parameter)
{
    return {"write 20 33", "pause busy", "write " + command, "write " + parameter,
            "pause busy",  "discard in", "write 20 32",      "discard out"};
}

inline QByteArray ramp(int count, int first = 0)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += char((first + i) % 256);
    return out;
}

} // namespace FakeLog
