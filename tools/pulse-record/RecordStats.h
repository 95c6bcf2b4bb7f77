#pragma once

#include <cstdint>
#include <span>

// The plain numbers of a record.
struct RecordStats
{
    int minimum = 0;
    int maximum = 0;
    double mean = 0.0;

    // All zero for no samples.
    static RecordStats of(std::span<const std::uint8_t> samples);
};
