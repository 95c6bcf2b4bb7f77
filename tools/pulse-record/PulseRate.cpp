#include "PulseRate.h"

#include <algorithm>
#include <cmath>

std::vector<double> PulseRate::smooth(std::span<const std::uint8_t> samples, int width)
{
    const int n = int(samples.size());
    width = std::max(1, width);
    const int before = (width - 1) / 2;
    const int after = width - 1 - before;
    // Prefix sums keep it linear whatever the width.
    std::vector<double> sums(n + 1, 0.0);
    for (int i = 0; i < n; ++i)
        sums[i + 1] = sums[i] + samples[i];
    std::vector<double> out(n);
    for (int i = 0; i < n; ++i) {
        const int from = std::max(0, i - before);
        const int to = std::min(n, i + after + 1);
        out[i] = (sums[to] - sums[from]) / (to - from);
    }
    return out;
}

namespace {

// Two passes of the detector over a whole record; `feed(detector, i)` hands
// it position i and says whether a beat ended.
template <typename Feed> std::vector<int> detect(std::size_t count, double rateHz, Feed feed)
{
    if (count == 0 || !(rateHz > 0))
        return {};
    BeatDetector first(rateHz);
    std::vector<double> swings, feet;
    for (std::size_t i = 0; i <= count; ++i) {
        if (i < count ? feed(first, i) : first.finish()) {
            swings.push_back(first.swing());
            feet.push_back(first.foot());
        }
    }
    if (swings.empty())
        return {};
    // The typical swing and foot: the first "beat" may have been learnt on a
    // part of one, which rose less, from higher up (the upper and the lower
    // median where there are two).
    std::nth_element(swings.begin(), swings.begin() + std::ptrdiff_t(swings.size() / 2), swings.end());
    const double swing = swings[swings.size() / 2];
    std::nth_element(feet.begin(), feet.begin() + std::ptrdiff_t((feet.size() - 1) / 2), feet.end());
    const double foot = feet[(feet.size() - 1) / 2];
    // Again, knowing the pulse's height from the start.
    std::vector<int> found;
    BeatDetector second(rateHz);
    second.prime(swing, foot);
    for (std::size_t i = 0; i < count; ++i) {
        if (feed(second, i))
            found.push_back(int(second.beatAt()));
    }
    if (second.finish())
        found.push_back(int(second.beatAt()));
    return found;
}

} // namespace

std::vector<int> PulseRate::peaks(const std::vector<double> &smoothed, double rateHz)
{
    return detect(smoothed.size(), rateHz, [&](BeatDetector &d, std::size_t i) { return d.takeSmoothed(smoothed[i]); });
}

std::vector<int> PulseRate::beats(std::span<const std::uint8_t> samples, double rateHz)
{
    return detect(samples.size(), rateHz, [&](BeatDetector &d, std::size_t i) { return d.take(samples[i]); });
}

PulseRate::Estimate PulseRate::estimate(std::span<const std::uint8_t> samples, double rateHz)
{
    Estimate result;
    const std::vector<int> at = beats(samples, rateHz);
    result.peaks = int(at.size());
    if (result.peaks < MinIntervals + 1)
        return result;

    std::vector<int> intervals;
    for (size_t i = 1; i < at.size(); ++i)
        intervals.push_back(at[i] - at[i - 1]);
    std::vector<int> sorted = intervals;
    std::sort(sorted.begin(), sorted.end());
    const size_t mid = sorted.size() / 2;
    const double median = sorted.size() % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2.0;

    double total = 0.0;
    for (int d : intervals) {
        if (std::abs(d - median) <= IntervalTolerance * median) {
            total += d;
            ++result.intervals;
        }
    }
    if (result.intervals < MinIntervals)
        return result;
    result.found = true;
    result.beatsPerMinute = 60.0 * rateHz * result.intervals / total;
    return result;
}
