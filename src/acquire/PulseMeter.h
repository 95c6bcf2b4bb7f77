#pragma once

#include "BeatDetector.h"

#include <array>
#include <cstdint>
#include <span>

// The pulse rate as a monitor shows it, from the stream of samples: the
// average of the last four beats, read once a second, and whether the trace
// is cut flat at either end of the byte's range.
//
// A gap in the stream (Stop, a change's restart, a lost line) restarts it:
// until four beat intervals have come since, it has no rate, and the same
// after ten readings without a beat. An interval far from the others (a beat
// missed, or a first "beat" on the dicrotic wave) is left out.
class PulseMeter
{
public:
    static constexpr int AveragedBeats = 4;
    static constexpr int KeptIntervals = 8;
    static constexpr double IntervalTolerance = 0.25; // of the median interval
    static constexpr int ReadingsWithoutBeat = 10;    // once a second: ten seconds
    // More of a second's samples than this at 0 or 255: the trace clips.
    static constexpr double ClipShare = 0.02;

    enum class Clipping { None, High, Low };

    struct Reading
    {
        int perMinute = 0; // 0: no rate
        Clipping clipping = Clipping::None;
    };

    explicit PulseMeter(double rateHz = 200.0)
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
