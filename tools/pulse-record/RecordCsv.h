#pragma once

#include "RecordSeries.h"

#include <QByteArray>
#include <optional>

// A record as comma-separated lines for spreadsheets: a header, then one line
// per sample period in the series' order with the file offset, the time when
// the rate is known, the value and a note. The slot the record never holds
// has no offset and no value ("missing"); the bytes in no slot follow at the
// end with no time ("padding", the last byte, or "stale", left by an earlier
// sweep).
class RecordCsv
{
public:
    static constexpr int TimeDecimals = 4; // 0.1 ms: distinct times up to 10 kHz

    static QByteArray format(const RecordSeries &series, std::span<const std::uint8_t> bytes,
                             std::optional<double> rateHz);
};
