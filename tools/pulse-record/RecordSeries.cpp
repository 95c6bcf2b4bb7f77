#include "RecordSeries.h"

#include "acquire/RecordFormat.h"

#include <algorithm>

bool RecordSeries::isPadding(int offset)
{
    return offset == RecordFormat::Size - 1;
}

RecordSeries RecordSeries::asStored(std::span<const std::uint8_t> bytes)
{
    RecordSeries s;
    for (int k = 0; k < int(bytes.size()); ++k) {
        if (isPadding(k)) {
            s.leftOut.push_back(k);
            continue;
        }
        s.values.push_back(bytes[size_t(k)]);
        s.offsets.push_back(k);
    }
    return s;
}

RecordSeries RecordSeries::timeOrdered(std::span<const std::uint8_t> bytes, const RecordFormat::Layout &layout)
{
    RecordSeries s;
    const int size = int(bytes.size());
    std::vector<bool> used(bytes.size(), false);
    const auto take = [&](int from, int count) {
        for (int k = from; k < std::min(size, from + count); ++k) {
            s.values.push_back(bytes[size_t(k)]);
            s.offsets.push_back(k);
            used[size_t(k)] = true;
        }
    };
    take(layout.previousFirst, layout.previousCount);
    s.previousCount = int(s.values.size());
    if (layout.gap() && !s.values.empty()) {
        s.gapAt = int(s.values.size());
        s.values.push_back(s.values.back());
        s.offsets.push_back(Missing);
    }
    take(0, layout.currentCount);
    for (int k = 0; k < size; ++k) {
        if (!used[size_t(k)])
            s.leftOut.push_back(k);
    }
    return s;
}

std::vector<std::uint8_t> RecordSeries::held() const
{
    std::vector<std::uint8_t> out;
    out.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        if (int(i) != gapAt)
            out.push_back(values[i]);
    }
    return out;
}
