#include "CommandSequence.h"

#include "link/SensorCommands.h"

CommandSequence::CommandSequence(SerialService &line, QObject *parent)
    : QObject(parent)
    , line_(line)
{ }

CommandSequence::Busy::Busy(CommandSequence &sequence)
    : sequence_(sequence)
{
    emit sequence_.busyChanged(true);
}

CommandSequence::Busy::~Busy()
{
    emit sequence_.busyChanged(false);
}

bool CommandSequence::initialise(const std::array<QByteArray, 3> &commands)
{
    for (const QByteArray &command : commands) {
        line_.pause(SerialService::Pause::PortInit);
        if (!line_.write(command))
            return false;
    }
    return true;
}

bool CommandSequence::change(const QByteArray &command, const QByteArray &parameter)
{
    const Busy busy(*this);
    if (!line_.write(SensorCommands::StopStream))
        return false;
    line_.pause(SerialService::Pause::Busy);
    if (!line_.write(command) || !line_.write(parameter))
        return false;
    line_.pause(SerialService::Pause::Busy);
    line_.discardInput();
    if (!line_.write(SensorCommands::StartStream))
        return false;
    line_.discardOutput();
    return true;
}
