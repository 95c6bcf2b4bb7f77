#pragma once

#include "CommandParser.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

class PseudoTerminal;
class SampleSource;

// The simulator's one loop: reads commands, answers them and paces the
// sample stream on absolute deadlines. Plain POSIX, no allocation per
// sample; idle it blocks in ppoll with no time-out.
class SensorLoop
{
public:
    // The most samples one write may carry.
    static constexpr int MaxWriteSize = 4096;

    struct Config
    {
        CommandParser::SerialDigits serial {};
        bool unpaced = false;
        int writeSize = 0;                 // 1..MaxWriteSize; 0: as the pacing falls
        std::optional<double> unplugAfter; // seconds from the loop's construction
        std::FILE *log = nullptr;          // bytes received
        int sentFd = -1;                   // sample bytes sent
    };
    enum class Ending { Stopped, Unplugged, Failed };

    // Blocks SIGINT, SIGTERM and SIGHUP outside the loop's wait, where they
    // only raise a flag. Call before anything needs cleaning up.
    static void installSignalHandlers();

    // Waits `seconds` unless a stop signal comes first; false if it did.
    static bool waitUnlessStopped(double seconds);

    SensorLoop(PseudoTerminal &line, SampleSource &source, const SensorSettings &initial, const Config &config);

    Ending run();
    std::uint64_t samplesSent() const { return samplesSent_; }
    // Of those, the ones still waiting unread on the line when it was unplugged.
    std::uint64_t unreadAtUnplug() const { return unreadAtUnplug_; }

private:
    bool readCommands();
    void handle(const CommandParser::Command &command);
    // Reads away what waits on the far side; returns the count.
    std::uint64_t drainUnheard();
    // Writes `pending` (replies_ or samples_) until the line is full, and
    // drops what it took; samples taken are counted and copied to --sent.
    // False when the line or --sent failed.
    bool flush(std::vector<std::uint8_t> &pending);
    bool copySent(const std::uint8_t *bytes, std::size_t count);
    bool sendDue(std::int64_t now);
    bool sendUnpaced();
    void restartPacing(std::int64_t now);
    std::int64_t nextDeadline() const;
    int lineRate() const;
    int samplesPerWrite() const;
    void logReceived(const std::uint8_t *bytes, std::size_t count);

    PseudoTerminal &line_;
    SampleSource &source_;
    CommandParser parser_;
    Config config_;
    std::optional<std::int64_t> unplugAt_;

    std::vector<std::uint8_t> replies_; // waiting to go out, ahead of samples
    std::vector<std::uint8_t> samples_; // drawn from the source, not yet taken by the line
    std::int64_t epoch_ = 0;            // pacing: when the current run of samples began
    std::int64_t sinceEpoch_ = 0;       // samples written since epoch_
    std::uint64_t samplesSent_ = 0;
    std::uint64_t ignoredInRead_ = 0;
    std::uint64_t unreadAtUnplug_ = 0;
};
