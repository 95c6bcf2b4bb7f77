#pragma once

#include "acquire/RecordFormat.h"

#include <cstdint>
#include <span>
#include <vector>

// A record's samples in the order they are looked at: as stored, or in time
// order from its index line. The record's last byte is padding (no sweep
// reaches that buffer entry) and is never a sample.
struct RecordSeries
{
    static constexpr int Missing = -1;

    // One slot per sample period. The slot the record never holds (the sweep
    // in progress's first sample, at the junction) repeats the value before
    // it, so that times and beat intervals stay right; its offset is Missing.
    std::vector<std::uint8_t> values;
    std::vector<int> offsets; // file offset of each slot
    int gapAt = -1;           // the Missing slot, if any
    int previousCount = 0;    // slots of the previous sweep, in time order only
    std::vector<int> leftOut; // file offsets in no slot: padding, stale entries

    // Every byte but the padding, in file order.
    static RecordSeries asStored(std::span<const std::uint8_t> bytes);
    // The previous sweep's part, the missing slot, then the sweep in progress.
    static RecordSeries timeOrdered(std::span<const std::uint8_t> bytes, const RecordFormat::Layout &layout);

    // The samples really held, without the missing slot: for the statistics.
    std::vector<std::uint8_t> held() const;
    static bool isPadding(int offset);
};
