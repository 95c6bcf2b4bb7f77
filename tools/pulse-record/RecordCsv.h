#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <span>

// A record as comma-separated lines for spreadsheets: a header, then one line
// per sample with its index (the file offset), its time when the rate is
// known, and its value.
class RecordCsv {
public:
    static constexpr int TimeDecimals = 4; // 0.1 ms: distinct times up to 10 kHz

    static QByteArray format(std::span<const std::uint8_t> samples, std::optional<double> rateHz);
};
