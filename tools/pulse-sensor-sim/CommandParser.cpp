#include "CommandParser.h"

#include <cstdio>

CommandParser::CommandParser(const SensorSettings &initial)
    : settings_(initial)
{ }

std::optional<CommandParser::Command> CommandParser::feed(std::uint8_t byte)
{
    switch (state_) {
    case State::Idle:
        if (byte == Space) {
            state_ = State::AfterSpace;
            return std::nullopt;
        }
        return Command {Kind::Ignored, byte};

    case State::AfterSpace:
        state_ = State::Idle;
        switch (byte) {
        case '1':
            return Command {Kind::SerialNumber};
        case '2':
            settings_.streaming = true;
            return Command {Kind::Start};
        case '3':
            settings_.streaming = false;
            return Command {Kind::Stop};
        case '4':
        case '5':
        case '7':
            pending_ = static_cast<char>(byte);
            state_ = State::AwaitParameter;
            return std::nullopt;
        case Space:
            // A stray space before a real command: the later one counts.
            state_ = State::AfterSpace;
            return Command {Kind::Ignored, byte};
        default:
            return Command {Kind::Ignored, byte};
        }

    case State::AwaitParameter:
        state_ = State::Idle;
        return applyParameter(byte);
    }
    return std::nullopt;
}

std::optional<CommandParser::Command> CommandParser::applyParameter(std::uint8_t byte)
{
    const Command bad {Kind::BadParameter, byte, pending_};
    switch (pending_) {
    case '4':
        if (byte >= GainSteps)
            break;
        settings_.gain = byte + 1;
        return Command {Kind::Gain, settings_.gain, pending_};
    case '5':
        if (byte >= BaselineLevels)
            break;
        settings_.baseline = byte;
        return Command {Kind::Baseline, settings_.baseline, pending_};
    case '7':
        if (static_cast<std::size_t>(byte) >= RatesHz.size())
            break;
        settings_.rateHz = RatesHz[byte];
        return Command {Kind::Rate, settings_.rateHz, pending_};
    }
    // No parameter is ever a space, so a space here means the parameter was
    // lost and a new command begins; don't let it swallow that command.
    if (byte == Space)
        state_ = State::AfterSpace;
    return bad;
}

CommandParser::SerialReply CommandParser::serialReply(const SerialDigits &digits)
{
    return {ReplyLead[0], ReplyLead[1], digits[0], digits[1], digits[2], digits[3]};
}

std::string CommandParser::describe(const Command &command)
{
    char line[96];
    switch (command.kind) {
    case Kind::SerialNumber:
        return "serial number requested";
    case Kind::Start:
        return "stream started";
    case Kind::Stop:
        return "stream stopped";
    case Kind::Gain:
        std::snprintf(line, sizeof line, "gain %dx", command.value);
        return line;
    case Kind::Baseline:
        std::snprintf(line, sizeof line, "baseline %d", command.value);
        return line;
    case Kind::Rate:
        std::snprintf(line, sizeof line, "rate %d Hz", command.value);
        return line;
    case Kind::BadParameter:
        std::snprintf(line, sizeof line, "parameter 0x%02x of \" %c\" out of range, ignored", command.value,
                      command.command);
        return line;
    case Kind::Ignored:
        std::snprintf(line, sizeof line, "byte 0x%02x ignored", command.value);
        return line;
    }
    return {};
}
