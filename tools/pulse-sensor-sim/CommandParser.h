#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the sensor is set to; changed only by commands.
struct SensorSettings
{
    int gain = 4;     // factor 1..CommandParser::GainSteps
    int baseline = 0; // level 0..CommandParser::BaselineLevels - 1
    int rateHz = 200; // one of CommandParser::RatesHz
    bool streaming = false;
};

// The sensor's side of the command protocol: a space and a digit, the gain,
// baseline and rate commands followed by one parameter byte that may arrive
// in a later read. Bytes go in one at a time; each finished command comes out
// and has already been applied to settings(). No I/O: tests drive it directly.
//
// The simulator's one copy of the protocol's values (the waveform and the
// options take them from here). They are written out rather than shared with
// the program, so that a test against this peer checks the program's own table.
class CommandParser
{
public:
    static constexpr std::uint8_t Space = 0x20;
    static constexpr std::array<int, 5> RatesHz = {200, 300, 400, 500, 1000};
    static constexpr int GainSteps = 10;     // parameter 0..9 = 1x..10x
    static constexpr int BaselineLevels = 6; // parameter 0..5
    static constexpr std::array<std::uint8_t, 2> ReplyLead = {0xAA, 0x55};
    using SerialDigits = std::array<std::uint8_t, 4>;
    using SerialReply = std::array<std::uint8_t, 6>;

    enum class Kind {
        SerialNumber, // reply with serialReply()
        Start,
        Stop,
        Gain,         // value: the new factor
        Baseline,     // value: the new level
        Rate,         // value: the new rate in Hz
        BadParameter, // command: its digit; value: the byte, left unapplied
        Ignored,      // value: the byte that matched no command
    };
    struct Command
    {
        Kind kind = Kind::Ignored;
        int value = 0;
        char command = 0;
    };

    explicit CommandParser(const SensorSettings &initial = {});

    std::optional<Command> feed(std::uint8_t byte);
    const SensorSettings &settings() const { return settings_; }

    static SerialReply serialReply(const SerialDigits &digits);
    // One line for the simulator's diagnostics.
    static std::string describe(const Command &command);

private:
    enum class State { Idle, AfterSpace, AwaitParameter };

    std::optional<Command> applyParameter(std::uint8_t byte);

    State state_ = State::Idle;
    char pending_ = 0; // the command digit waiting for its parameter
    SensorSettings settings_;
};
