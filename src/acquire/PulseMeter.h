#pragma once

#include "BeatDetector.h"

#include <array>
#include <cstdint>
#include <span>

// The pulse rate as a monitor shows it, from the stream of samples: the
// average of the last four beats, read once a second, and whether the trace
// is cut flat at either end of the byte's range.
//
// A number is shown only while the beats can be trusted: four of the newest
// six intervals must agree with the others, and none may reach across a
// break in the detector's chain of beats (a flat stretch, motion, no beat for
// longer than a pulse allows) or a restart (a gap in the stream: Start, a
// change's restart, a lost line). Otherwise the reading has no rate, and the
// rate comes back with the fifth clean beat.
class PulseMeter
{
public:
    static constexpr int AveragedBeats = 4;
    static constexpr int KeptIntervals = 8;
    static constexpr double IntervalTolerance = 0.25; // of the median interval
    static constexpr int ReadingIntervalMs = 1000;
    // Read once a second: this many readings without a beat are longer than
    // a beat can take, also when no samples come at all (after Stop).
    static constexpr int ReadingsWithoutBeat = int(BeatDetector::MaxIntervalSeconds) + 1;
    // More of a second's samples than this at 0 or 255: the trace clips.
    static constexpr double ClipShare = 0.02;

    enum class Clipping { None, High, Low };

    // The rate rule, the window's and a record's: of `intervals` (oldest
    // first), those within `tolerance` of their median (the upper one where
    // there are two), taken newest first from the newest `scanned`, until
    // `wanted` are found.
    struct Agreeing
    {
        long long total = 0;
        int used = 0;
    };
    static Agreeing agreeing(std::span<const long long> intervals, int scanned, int wanted,
                             double tolerance = IntervalTolerance);

    struct Reading
    {
        int perMinute = 0; // 0: no rate
        Clipping clipping = Clipping::None;
    };

    explicit PulseMeter(double rateHz = BeatDetector::DefaultRateHz)
        : detector_(rateHz)
    { }

    void restart(double rateHz);
    void take(std::span<const std::uint8_t> samples)
    {
        for (std::uint8_t sample : samples) {
            low_ += sample == 0;
            high_ += sample == 255;
            if (detector_.take(sample))
                beat();
        }
        taken_ += int(samples.size());
    }

    // What has come since the last reading; once a second.
    Reading read();
    // The beats it counts: the last one's peak is beatAt().
    const BeatDetector &detector() const { return detector_; }

private:
    void beat();
    int perMinute() const;

    BeatDetector detector_;
    std::array<long long, KeptIntervals> intervals_ {}; // newest at count_ - 1, circular
    int count_ = 0;                                     // intervals ever kept since the restart
    bool beatSinceReading_ = false;
    int readingsWithoutBeat_ = 0;
    int taken_ = 0;
    int low_ = 0;
    int high_ = 0;
};
