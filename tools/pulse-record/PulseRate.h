#pragma once

#include "acquire/PulseMeter.h"

#include <cstdint>
#include <span>
#include <vector>

// The pulse rate from the systolic peaks of a record, found by the program's own
// BeatDetector, so that a record's rate and the one the window showed agree.
// A record is only a few seconds long: the detector runs twice, the first
// time to learn the pulse's height, so that a beat in the first second is not
// lost; and every usable interval counts.
class PulseRate
{
public:
    // The window's rule (PulseMeter::agreeing) over every interval, tighter:
    // a record read in file order joins two sweeps, and an interval that
    // spans the join (or a missed beat) is mostly far from the others. Tight
    // enough that one that slips through moves the mean of a record's six or
    // seven by about 2 % at most; loose enough for the beat's natural
    // variation of about a tenth.
    static constexpr double IntervalTolerance = 0.15; // of the median interval
    static constexpr int MinIntervals = 2;

    struct Estimate
    {
        bool found = false;
        double beatsPerMinute = 0.0;
        int peaks = 0;     // systolic peaks detected
        int intervals = 0; // beat intervals the rate is averaged over
    };

    static Estimate estimate(std::span<const std::uint8_t> samples, double rateHz);

    // Sample positions of the systolic peaks; none where there is no pulse.
    static std::vector<int> beats(std::span<const std::uint8_t> samples, double rateHz);
};
