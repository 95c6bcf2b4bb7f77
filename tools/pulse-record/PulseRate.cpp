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

// Maxima of the curve, a plateau counted once at its middle; the ends of the
// record are not maxima, since what lies beyond them is unknown.
std::vector<int> localMaxima(const std::vector<double> &s)
{
    std::vector<int> found;
    const int n = int(s.size());
    int i = 1;
    while (i < n - 1) {
        if (s[i] > s[i - 1]) {
            int j = i;
            while (j + 1 < n && s[j + 1] == s[i])
                ++j;
            if (j + 1 < n && s[j + 1] < s[i])
                found.push_back((i + j) / 2);
            i = j + 1;
        } else {
            ++i;
        }
    }
    return found;
}

} // namespace

std::vector<int> PulseRate::peaks(const std::vector<double> &smoothed, double rateHz)
{
    const int n = int(smoothed.size());
    const int reach = std::max(1, int(std::lround(LocalRangeSeconds * rateHz)));
    std::vector<int> candidates;
    for (int i : localMaxima(smoothed)) {
        const auto from = smoothed.begin() + std::max(0, i - reach);
        const auto to = smoothed.begin() + std::min(n, i + reach + 1);
        const auto [low, high] = std::minmax_element(from, to);
        const double range = *high - *low;
        if (range >= MinSwingCounts && smoothed[i] > *low + PeakLevel * range)
            candidates.push_back(i);
    }

    // Of maxima closer than a beat can be, the highest is the systolic one.
    std::stable_sort(candidates.begin(), candidates.end(), [&](int a, int b) { return smoothed[a] > smoothed[b]; });
    const double spacing = MinPeakSpacingSeconds * rateHz;
    std::vector<int> kept;
    for (int c : candidates) {
        if (std::none_of(kept.begin(), kept.end(), [&](int k) { return std::abs(c - k) < spacing; }))
            kept.push_back(c);
    }
    std::sort(kept.begin(), kept.end());
    return kept;
}

std::vector<int> PulseRate::beats(std::span<const std::uint8_t> samples, double rateHz)
{
    if (samples.empty() || !(rateHz > 0))
        return {};
    const auto smoothed = smooth(samples, int(std::lround(SmoothingSeconds * rateHz)));
    const auto [low, high] = std::minmax_element(smoothed.begin(), smoothed.end());
    if (*high - *low < MinSwingCounts)
        return {};
    return peaks(smoothed, rateHz);
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
