#include "PulseAnalysis.h"

#include <algorithm>
#include <numeric>

namespace PulseAnalysis {

namespace {
constexpr double SmoothingSeconds = 0.020;
constexpr double LocalRangeSeconds = 2.0;
constexpr double PeakFraction = 0.5;
constexpr double MinPeakDistanceSeconds = 0.33;
constexpr double NotchReach = 0.6; // of a beat, after the peak
constexpr double NotchMinRise = 0.02; // of the beat's height
} // namespace

std::vector<double> smooth(const std::vector<std::uint8_t> &samples, int rateHz)
{
    const auto half = static_cast<std::ptrdiff_t>(SmoothingSeconds * rateHz / 2);
    const auto n = static_cast<std::ptrdiff_t>(samples.size());
    std::vector<double> out(samples.size());
    for (std::ptrdiff_t i = 0; i < n; ++i) {
        const std::ptrdiff_t from = std::max<std::ptrdiff_t>(0, i - half);
        const std::ptrdiff_t to = std::min(n - 1, i + half);
        double sum = 0;
        for (std::ptrdiff_t j = from; j <= to; ++j)
            sum += samples[static_cast<std::size_t>(j)];
        out[static_cast<std::size_t>(i)] = sum / static_cast<double>(to - from + 1);
    }
    return out;
}

std::vector<std::size_t> peaks(const std::vector<double> &smoothed, int rateHz)
{
    const auto reach = static_cast<std::size_t>(LocalRangeSeconds * rateHz);
    const auto minDistance = static_cast<std::size_t>(MinPeakDistanceSeconds * rateHz);
    std::vector<std::size_t> found;
    for (std::size_t i = 1; i + 1 < smoothed.size(); ++i) {
        if (!(smoothed[i] > smoothed[i - 1] && smoothed[i] >= smoothed[i + 1]))
            continue;
        const std::size_t from = i > reach ? i - reach : 0;
        const std::size_t to = std::min(smoothed.size(), i + reach + 1);
        const auto [low, high] = std::minmax_element(
            smoothed.begin() + static_cast<std::ptrdiff_t>(from), smoothed.begin() + static_cast<std::ptrdiff_t>(to));
        if (smoothed[i] < *low + PeakFraction * (*high - *low))
            continue;
        if (!found.empty() && i - found.back() < minDistance) {
            if (smoothed[i] > smoothed[found.back()])
                found.back() = i;
            continue;
        }
        found.push_back(i);
    }
    return found;
}

double heartRate(const std::vector<std::size_t> &peaks, int rateHz)
{
    if (peaks.size() < 2)
        return 0.0;
    const double meanInterval
        = static_cast<double>(peaks.back() - peaks.front()) / static_cast<double>(peaks.size() - 1) / rateHz;
    return 60.0 / meanInterval;
}

std::vector<Beat> beats(const std::vector<double> &smoothed, const std::vector<std::size_t> &peaks)
{
    std::vector<Beat> out;
    for (std::size_t k = 1; k < peaks.size(); ++k) {
        const auto first = smoothed.begin() + static_cast<std::ptrdiff_t>(peaks[k - 1]);
        const auto last = smoothed.begin() + static_cast<std::ptrdiff_t>(peaks[k]);
        const auto foot = std::min_element(first, last);
        const auto footIndex = static_cast<std::size_t>(foot - smoothed.begin());
        out.push_back({ footIndex, peaks[k], smoothed[peaks[k]] - *foot });
    }
    return out;
}

bool hasNotch(const std::vector<double> &smoothed, const Beat &beat, std::size_t beatLength)
{
    const std::size_t end
        = std::min(smoothed.size() - 1, beat.peak + static_cast<std::size_t>(NotchReach * beatLength));
    for (std::size_t i = beat.peak + 1; i < end; ++i) {
        if (!(smoothed[i] < smoothed[i - 1] && smoothed[i] <= smoothed[i + 1]))
            continue;
        const double rise = *std::max_element(smoothed.begin() + static_cast<std::ptrdiff_t>(i),
                                smoothed.begin() + static_cast<std::ptrdiff_t>(end) + 1)
            - smoothed[i];
        if (rise >= NotchMinRise * beat.height)
            return true;
    }
    return false;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace PulseAnalysis
