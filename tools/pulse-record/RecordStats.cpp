#include "RecordStats.h"

#include <algorithm>

RecordStats RecordStats::of(std::span<const std::uint8_t> samples)
{
    RecordStats stats;
    if (samples.empty())
        return stats;
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    stats.minimum = *low;
    stats.maximum = *high;
    long long total = 0;
    for (std::uint8_t s : samples)
        total += s;
    stats.mean = double(total) / double(samples.size());
    return stats;
}
