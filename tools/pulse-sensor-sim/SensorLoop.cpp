#include "SensorLoop.h"

#include "PseudoTerminal.h"
#include "SampleSource.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::int64_t NsPerSecond = 1'000'000'000;
// A pty takes bytes as fast as they come; a 9600-baud 8N1 line carries ten
// bits a byte. At 1000 Hz the sensor falls 4 % short rather than queue up.
constexpr int LineBytesPerSecond = 960;
// Without --write-size: wake about this often and send what fell due, which
// is one to four samples.
constexpr int WakeupsPerSecond = 250;
// Longest the loop sleeps between looks at the line, so commands and signals
// wait at most this long even with large writes at a slow rate.
constexpr std::int64_t MaxSleepNs = 20'000'000;
// Further behind than this (the machine stalled, the line was full), start the
// pacing afresh instead of catching up in a burst.
constexpr std::int64_t MaxLagNs = 200'000'000;
// Where the line is the limit (1000 Hz), a burst would carry more than the
// line can: catch up at most this much, about fifty bytes. A busy machine
// wakes this loop 10 to 50 ms late often enough that less lost 5 % of the
// line's bytes; a real stall is longer and is paced afresh.
constexpr std::int64_t MaxLineLagNs = 50'000'000;
constexpr std::size_t UnpacedWriteSize = 256;
constexpr int UnpacedWritesPerTurn = 64;
constexpr std::size_t ReadSize = 4096;

volatile std::sig_atomic_t stopRequested = 0;
sigset_t waitMask; // in force only inside ppoll: lets the stop signals in

void onStopSignal(int)
{
    stopRequested = 1;
}

// ppoll lets a blocked signal in only when it would otherwise wait; when a
// descriptor is ready at once it returns and the signal stays pending.
bool stopPending()
{
    sigset_t pending;
    if (::sigpending(&pending) != 0)
        return false;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&pending, signal))
            return true;
    }
    return false;
}

std::int64_t monotonicNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * NsPerSecond + ts.tv_nsec;
}

timespec toTimespec(std::int64_t ns)
{
    return {static_cast<time_t>(ns / NsPerSecond), static_cast<long>(ns % NsPerSecond)};
}

const std::int64_t processStart = monotonicNs();

void complain(const char *what)
{
    std::fprintf(stderr, "pulse-sensor-sim: %s: %s\n", what, std::strerror(errno));
}

} // namespace

void SensorLoop::installSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&stops, signal);
    }
    // A reader of our stdout that went away must not kill us before the link is removed.
    std::signal(SIGPIPE, SIG_IGN);
    ::sigprocmask(SIG_BLOCK, &stops, &waitMask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&waitMask, signal);
}

bool SensorLoop::waitUnlessStopped(double seconds)
{
    const std::int64_t until = monotonicNs() + static_cast<std::int64_t>(seconds * NsPerSecond);
    for (;;) {
        if (stopRequested || stopPending())
            return false;
        const std::int64_t now = monotonicNs();
        if (now >= until)
            return true;
        const timespec timeout = toTimespec(until - now);
        ::ppoll(nullptr, 0, &timeout, &waitMask);
    }
}

SensorLoop::SensorLoop(PseudoTerminal &line, SampleSource &source, const SensorSettings &initial, const Config &config)
    : line_(line)
    , source_(source)
    , parser_(initial)
    , config_(config)
{
    if (config_.unplugAfter)
        unplugAt_ = monotonicNs() + static_cast<std::int64_t>(*config_.unplugAfter * NsPerSecond);
    samples_.reserve(static_cast<std::size_t>(MaxWriteSize));
    replies_.reserve(64);
}

SensorLoop::Ending SensorLoop::run()
{
    source_.apply(parser_.settings());
    if (parser_.settings().streaming)
        restartPacing(monotonicNs());
    for (;;) {
        if (stopRequested || stopPending()) {
            // What the program wrote before the stop still goes into --log.
            readCommands();
            return Ending::Stopped;
        }
        std::int64_t now = monotonicNs();
        if (unplugAt_ && now >= *unplugAt_) {
            // Whatever the program has not read yet is lost with the line;
            // reading it here counts it.
            unreadAtUnplug_ = drainUnheard();
            line_.close();
            return Ending::Unplugged;
        }

        const SensorSettings &settings = parser_.settings();
        const bool paced = settings.streaming && !config_.unpaced && samples_.empty();
        const bool wantRoom = !replies_.empty() || (settings.streaming && (!samples_.empty() || config_.unpaced));
        pollfd fds[3] = {
            {line_.master(), static_cast<short>(POLLIN | (wantRoom ? POLLOUT : 0)), 0},
            {line_.watch(), POLLIN, 0},
            {line_.farSide(), POLLIN, 0},
        };
        // Nobody has the port open: what we sent is lost, as on a real line.
        const nfds_t count = line_.othersListening() ? 2 : 3;
        timespec timeout {};
        const timespec *wait = nullptr; // idle: no time-out at all
        if (paced)
            wait = &timeout; // just look; the pacing sleeps below
        else if (unplugAt_)
            wait = &(timeout = toTimespec(std::max<std::int64_t>(0, *unplugAt_ - now)));
        if (::ppoll(fds, count, wait, &waitMask) < 0) {
            if (errno == EINTR)
                continue;
            complain("poll");
            return Ending::Failed;
        }

        if (fds[1].revents & POLLIN)
            line_.readWatch();
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            std::fprintf(stderr, "pulse-sensor-sim: the line failed\n");
            return Ending::Failed;
        }
        if ((fds[0].revents & POLLIN) && !readCommands())
            return Ending::Failed;
        if (count == 3 && (fds[2].revents & POLLIN) && !line_.othersListening())
            drainUnheard();
        if (!flush(replies_))
            return Ending::Failed;

        if (!parser_.settings().streaming)
            continue;
        if (!samples_.empty()) {
            if (!flush(samples_))
                return Ending::Failed;
            if (samples_.empty())
                restartPacing(monotonicNs()); // the line was full for a while: no burst
            continue;
        }
        if (config_.unpaced) {
            if (!sendUnpaced())
                return Ending::Failed;
            continue;
        }
        now = monotonicNs();
        if (!sendDue(now))
            return Ending::Failed;
        if (samples_.empty()) {
            std::int64_t until = std::min(nextDeadline(), now + MaxSleepNs);
            if (unplugAt_)
                until = std::min(until, *unplugAt_);
            const timespec deadline = toTimespec(until);
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        }
    }
}

bool SensorLoop::readCommands()
{
    std::uint8_t buffer[ReadSize];
    for (;;) {
        const ssize_t n = ::read(line_.master(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            complain("read");
            return false;
        }
        if (n == 0)
            return true;
        logReceived(buffer, static_cast<std::size_t>(n));
        ignoredInRead_ = 0;
        for (ssize_t i = 0; i < n; ++i) {
            if (const auto command = parser_.feed(buffer[i]))
                handle(*command);
        }
        if (ignoredInRead_ > 0)
            std::fprintf(stderr, "pulse-sensor-sim: %llu byte(s) ignored\n",
                         static_cast<unsigned long long>(ignoredInRead_));
    }
}

void SensorLoop::handle(const CommandParser::Command &command)
{
    using Kind = CommandParser::Kind;
    switch (command.kind) {
    case Kind::Ignored:
        ++ignoredInRead_;
        return; // summed up per read: garbage must not flood the diagnostics
    case Kind::SerialNumber: {
        const auto reply = CommandParser::serialReply(config_.serial);
        replies_.insert(replies_.end(), reply.begin(), reply.end());
        break;
    }
    case Kind::Start:
    case Kind::Rate:
        source_.apply(parser_.settings());
        restartPacing(monotonicNs());
        break;
    case Kind::Gain:
    case Kind::Baseline:
        source_.apply(parser_.settings());
        break;
    case Kind::Stop:
    case Kind::BadParameter:
        break;
    }
    std::fprintf(stderr, "pulse-sensor-sim: %s\n", CommandParser::describe(command).c_str());
}

std::uint64_t SensorLoop::drainUnheard()
{
    std::uint8_t buffer[ReadSize];
    std::uint64_t count = 0;
    for (ssize_t n; (n = ::read(line_.farSide(), buffer, sizeof buffer)) > 0;)
        count += static_cast<std::uint64_t>(n);
    return count;
}

bool SensorLoop::flush(std::vector<std::uint8_t> &pending)
{
    std::size_t taken = 0;
    bool lineFailed = false;
    while (taken < pending.size()) {
        const ssize_t n = ::write(line_.master(), pending.data() + taken, pending.size() - taken);
        if (n >= 0) {
            taken += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            lineFailed = errno != EAGAIN && errno != EWOULDBLOCK;
            break;
        }
    }
    if (lineFailed)
        complain("write");
    // Samples the line took are sent, even when it failed right after them.
    if (&pending == &samples_ && taken > 0) {
        if (!copySent(pending.data(), taken))
            return false;
        samplesSent_ += taken;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
    return !lineFailed;
}

bool SensorLoop::copySent(const std::uint8_t *bytes, std::size_t count)
{
    if (config_.sentFd < 0)
        return true;
    for (std::size_t done = 0; done < count;) {
        const ssize_t m = ::write(config_.sentFd, bytes + done, count - done);
        if (m < 0 && errno == EINTR)
            continue;
        if (m <= 0) {
            complain("--sent");
            return false;
        }
        done += static_cast<std::size_t>(m);
    }
    return true;
}

bool SensorLoop::sendDue(std::int64_t now)
{
    const int chunk = samplesPerWrite();
    for (;;) {
        const std::int64_t deadline = nextDeadline();
        if (now < deadline)
            return true;
        if (now - deadline > (lineRate() == LineBytesPerSecond ? MaxLineLagNs : MaxLagNs)) {
            restartPacing(now);
            return true;
        }
        for (int i = 0; i < chunk; ++i)
            samples_.push_back(source_.next());
        sinceEpoch_ += chunk;
        if (!flush(samples_))
            return false;
        if (!samples_.empty())
            return true; // the line is full: wait for room
    }
}

bool SensorLoop::sendUnpaced()
{
    const std::size_t size = config_.writeSize > 0 ? static_cast<std::size_t>(config_.writeSize) : UnpacedWriteSize;
    for (int turn = 0; turn < UnpacedWritesPerTurn && samples_.empty(); ++turn) {
        for (std::size_t i = 0; i < size; ++i)
            samples_.push_back(source_.next());
        if (!flush(samples_))
            return false;
    }
    return true;
}

void SensorLoop::restartPacing(std::int64_t now)
{
    epoch_ = now;
    sinceEpoch_ = 0;
}

std::int64_t SensorLoop::nextDeadline() const
{
    return epoch_ + (sinceEpoch_ + samplesPerWrite()) * NsPerSecond / lineRate();
}

int SensorLoop::lineRate() const
{
    return std::min(parser_.settings().rateHz, LineBytesPerSecond);
}

int SensorLoop::samplesPerWrite() const
{
    if (config_.writeSize > 0)
        return config_.writeSize;
    return std::max(1, (lineRate() + WakeupsPerSecond - 1) / WakeupsPerSecond);
}

void SensorLoop::logReceived(const std::uint8_t *bytes, std::size_t count)
{
    if (!config_.log)
        return;
    const double seconds = static_cast<double>(monotonicNs() - processStart) / NsPerSecond;
    std::fprintf(config_.log, "%.6f", seconds);
    for (std::size_t i = 0; i < count; ++i)
        std::fprintf(config_.log, " %02x", bytes[i]);
    std::fputc('\n', config_.log);
    std::fflush(config_.log);
}
