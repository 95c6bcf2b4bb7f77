#include "RecordFormat.h"

#include <algorithm>

QByteArray RecordFormat::bytes(const Sweep::Buffer &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.data()) + FirstEntry, Size);
}

RecordFormat::Layout RecordFormat::layout(int sampleIndex, int previousSweepEnd)
{
    // File offset k holds buffer entry k + 1.
    const int previousStart = std::max(sampleIndex, FirstEntry);
    Layout l;
    l.currentCount = std::max(0, sampleIndex - FirstEntry);
    l.previousFirst = previousStart - FirstEntry;
    l.previousCount = std::max(0, previousSweepEnd - previousStart + 1);
    return l;
}
