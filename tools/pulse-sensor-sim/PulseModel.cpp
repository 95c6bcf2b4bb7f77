#include "PulseModel.h"

#include "CommandParser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

struct Wave
{
    double amplitude;
    double centre; // seconds after the beat's start, at the reference interval
    double width;  // standard deviation, seconds
};

// Percussion (systolic), tidal (late-systolic shoulder), dicrotic.
constexpr std::array<Wave, 3> Waves = {{{1.00, 0.133, 0.046}, {0.55, 0.250, 0.054}, {0.30, 0.400, 0.046}}};
constexpr double ReferenceInterval = 0.833; // T0: the waves above are timed for 72 per minute
constexpr double PeakToFoot = 1.07;         // raw peak minus foot of one beat
// How far a beat's waves reach: before its start (the percussion wave's
// leading tail) and after it (the dicrotic wave's trailing tail).
constexpr double ReachBefore = 0.3;
constexpr double ReachAfter = 1.5;

// Variability, scaled with the mean interval so slow and fast rates look alike.
constexpr double SinusArrhythmia = 0.040; // seconds, at the reference interval
constexpr double IntervalJitter = 0.020;  // seconds SD, at the reference interval
constexpr double BreathingHz = 0.25;
constexpr double BreathingDepth = 0.10; // of the pulse height, for baseline and amplitude alike
constexpr double NoiseLevel = 0.005;    // SD, of the pulse height

// Byte mapping: each gain step adds this many counts of pulse height, and each
// baseline level lifts the foot by as many.
constexpr double FootCounts = 16.0;
constexpr double CountsPerStep = 24.0;

constexpr std::uint64_t NoiseSeedSalt = 0x9e3779b97f4a7c15ULL;

} // namespace

PulseModel::PulseModel(const Config &config)
    : config_(config)
    , meanInterval_(60.0 / config.heartRate)
    , beatRandom_(config.seed)
    , noiseRandom_(config.seed ^ NoiseSeedSalt)
{
    // Start mid-rhythm: the first sample sees the tails of earlier beats.
    beats_.push_back({-ReachAfter, std::sqrt(ReferenceInterval * meanInterval_)});
}

void PulseModel::setSamplingRate(int hz)
{
    if (hz <= 0 || hz == rateHz_)
        return;
    epochTime_ = time();
    sinceEpoch_ = 0;
    rateHz_ = hz;
}

void PulseModel::setGain(int factor)
{
    gain_ = std::clamp(factor, 1, CommandParser::GainSteps);
}

void PulseModel::setBaseline(int level)
{
    baseline_ = std::clamp(level, 0, CommandParser::BaselineLevels - 1);
}

double PulseModel::breathingPhase(double t)
{
    return 2.0 * std::numbers::pi * BreathingHz * t;
}

void PulseModel::scheduleBeatsUntil(double t)
{
    while (beats_.back().start < t + ReachBefore) {
        const double last = beats_.back().start;
        const double mean =
            config_.stepHeartRate > 0 && last >= config_.stepAfter ? 60.0 / config_.stepHeartRate : meanInterval_;
        double interval = mean;
        if (config_.variability) {
            const double scale = mean / ReferenceInterval;
            interval += scale * SinusArrhythmia * std::sin(breathingPhase(last));
            interval += scale * IntervalJitter * beatNormal_(beatRandom_);
            interval = std::clamp(interval, 0.5 * mean, 1.5 * mean);
        }
        beats_.push_back({last + interval, std::sqrt(ReferenceInterval * interval)});
    }
}

void PulseModel::dropBeatsBefore(double t)
{
    while (beats_.size() > 1 && beats_.front().start < t - ReachAfter)
        beats_.pop_front();
}

double PulseModel::pressure(double t)
{
    scheduleBeatsUntil(t);
    dropBeatsBefore(t);
    double sum = 0.0;
    for (const Beat &beat : beats_) {
        const double since = t - beat.start;
        if (since < -ReachBefore || since > ReachAfter)
            continue;
        for (const Wave &wave : Waves) {
            const double d = since - wave.centre * beat.scale;
            const double w = wave.width * beat.scale;
            sum += wave.amplitude * std::exp(-d * d / (2.0 * w * w));
        }
    }
    return sum / PeakToFoot;
}

double PulseModel::beatStartedBy(double t) const
{
    const auto begun = std::find_if(beats_.rbegin(), beats_.rend(), [t](const Beat &b) { return b.start <= t; });
    return begun == beats_.rend() ? beats_.front().start : begun->start;
}

double PulseModel::nextSignal()
{
    const double t = time();
    ++sinceEpoch_;
    const double p = pressure(t);
    if (!config_.variability)
        return p;
    const double breath = BreathingDepth * std::sin(breathingPhase(t));
    return (1.0 + breath) * p + breath + NoiseLevel * noiseNormal_(noiseRandom_);
}

std::uint8_t PulseModel::nextByte()
{
    return toByte(nextSignal(), gain_, baseline_);
}

std::uint8_t PulseModel::toByte(double signal, int gain, int baseline)
{
    const double counts = FootCounts + CountsPerStep * baseline + CountsPerStep * gain * signal;
    return static_cast<std::uint8_t>(std::clamp(std::lround(counts), 0L, 255L));
}
