#pragma once

#include "Sweep.h"

#include <QByteArray>
#include <QString>

// A record file: 1146 raw samples, buffer entries 1..1146 at file offsets
// 0..1145, no header. Other programs read them, so the layout never changes;
// what a record does not say goes into the index beside it.
namespace RecordFormat {

constexpr int FirstEntry = 1;
constexpr int Size = 1146;
static_assert(FirstEntry + Size <= Sweep::BufferEntries);

inline QString fileName(int fileNumber)
{
    return QString::number(fileNumber);
}

// The bytes a record of this buffer holds.
QByteArray bytes(const Sweep::Buffer &buffer);

// Where a record's bytes lie in time: the previous sweep's part first, then
// the sweep in progress from its second sample on (its first, buffer entry 0,
// is never saved). Offsets in neither part are stale or padding.
struct Layout
{
    int previousFirst = 0; // file offset
    int previousCount = 0;
    int currentCount = 0; // file offsets 0 .. currentCount - 1
    // The one sample missing between the two parts.
    bool gap() const { return previousCount > 0 && currentCount > 0; }
};
Layout layout(int sampleIndex, int previousSweepEnd);

} // namespace RecordFormat
