#pragma once

#include "link/SerialService.h"

#include <QByteArray>
#include <QObject>
#include <array>

// The sensor's command sequences over the line, with the pauses it needs
// between commands. Every sequence runs to its end before it returns; the
// pauses process no events, and busyChanged() brackets them so that the
// window can say why clicks wait. A write that fails has closed the port and
// reported it, so a sequence just ends there, false.
class CommandSequence : public QObject
{
    Q_OBJECT
public:
    explicit CommandSequence(SerialService &line, QObject *parent = nullptr);

    // busyChanged(true) for as long as it lives.
    class Busy
    {
    public:
        explicit Busy(CommandSequence &sequence);
        ~Busy();
        Busy(const Busy &) = delete;
        Busy &operator=(const Busy &) = delete;

    private:
        CommandSequence &sequence_;
    };

    // Each command after the port's initialisation pause.
    bool initialise(const std::array<QByteArray, 3> &commands);
    // Stop, the command and its parameter, restart. What came before the
    // change has all arrived by the second pause and goes; the first samples
    // after the restart are kept, however late this thread gets to run again.
    bool change(const QByteArray &command, const QByteArray &parameter);

signals:
    void busyChanged(bool busy);

private:
    SerialService &line_;
};
