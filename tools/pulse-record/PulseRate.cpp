#include "PulseRate.h"

#include <algorithm>
#include <cmath>

std::vector<int> PulseRate::beats(std::span<const std::uint8_t> samples, double rateHz)
{
    if (samples.empty() || !(rateHz > 0))
        return {};
    BeatDetector first(rateHz);
    std::vector<double> strengths, feet;
    const auto keep = [&] {
        strengths.push_back(first.strength());
        feet.push_back(first.foot());
    };
    for (std::uint8_t sample : samples)
        if (first.take(sample))
            keep();
    if (first.finish())
        keep();
    if (strengths.empty())
        return {};
    // The typical beat and foot: the first beat may have been learnt on a
    // part of one, which rose less, from higher up (the upper and the lower
    // median where there are two).
    const auto upper = std::ptrdiff_t(strengths.size() / 2), lower = std::ptrdiff_t((feet.size() - 1) / 2);
    std::nth_element(strengths.begin(), strengths.begin() + upper, strengths.end());
    std::nth_element(feet.begin(), feet.begin() + lower, feet.end());
    // Again, knowing the pulse from the start.
    std::vector<int> found;
    BeatDetector second(rateHz);
    second.prime(strengths[size_t(upper)], feet[size_t(lower)]);
    for (std::uint8_t sample : samples) {
        if (second.take(sample))
            found.push_back(int(second.beatAt()));
    }
    if (second.finish())
        found.push_back(int(second.beatAt()));
    return found;
}

PulseRate::Estimate PulseRate::estimate(std::span<const std::uint8_t> samples, double rateHz)
{
    Estimate result;
    const std::vector<int> at = beats(samples, rateHz);
    result.peaks = int(at.size());
    if (result.peaks < MinIntervals + 1)
        return result;

    std::vector<long long> intervals;
    for (size_t i = 1; i < at.size(); ++i)
        intervals.push_back(at[i] - at[i - 1]);
    const PulseMeter::Agreeing agreeing =
        PulseMeter::agreeing(intervals, int(intervals.size()), int(intervals.size()), IntervalTolerance);
    result.intervals = agreeing.used;
    if (result.intervals < MinIntervals)
        return result;
    result.found = true;
    result.beatsPerMinute = 60.0 * rateHz * agreeing.used / double(agreeing.total);
    return result;
}
