// The readers of what pulse-record is given, fed anything: a recording's two
// files, or a record and the index beside it. One input is
//   KIND, LENGTH (two bytes, little-endian), LENGTH bytes, the rest;
// an even KIND is a recording (samples, then the events file), an odd one a
// record (its bytes, then index.tsv). Besides no crash and no sanitizer
// report, a recording's times must never run back.
#include "RecordCsv.h"
#include "SessionExport.h"
#include "acquire/RecordIndex.h"
#include "app/SessionEventText.h"
#include "recording/SessionReader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

void readRecording(const QByteArray &samples, const QByteArray &events)
{
    const SessionReader r = SessionReader::parse(QStringLiteral("fuzz"), events, samples);
    if (!r.ok())
        return;
    double last = -INFINITY;
    for (qint64 s = 0; s <= r.count(); ++s) {
        const double ms = r.msecsOf(s);
        if (!std::isfinite(ms) || ms < last - 1)
            std::abort();
        last = ms;
    }
    if (r.count() > 0 && r.sampleAt(r.msecsOf(r.count() - 1)) > r.count() - 1)
        std::abort();
    (void)r.start().isValid();
    (void)r.end().isValid();
    for (const SessionFormat::Event &e : r.events)
        (void)Texts::sessionEvent(e);
    (void)SessionExport::pulse(r);
    (void)SessionExport::edfParts(r);
    SessionExport::csv(r, [](const QByteArray &) { return true; });
}

void readRecord(const QByteArray &record, const QByteArray &index)
{
    const RecordIndex::Found found = RecordIndex::findIn(index, QStringLiteral("1"), record);
    const std::span view(reinterpret_cast<const std::uint8_t *>(record.constData()), size_t(record.size()));
    const bool indexed = found.status == RecordIndex::Lookup::Found;
    const RecordSeries series = indexed
        ? RecordSeries::timeOrdered(view, RecordFormat::layout(found.entry.sampleIndex, found.entry.previousSweepEnd))
        : RecordSeries::asStored(view);
    (void)RecordCsv::format(series, view, indexed ? std::optional<double>(found.entry.rateHz) : std::nullopt);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const qsizetype length = std::min<qsizetype>(data[1] | data[2] << 8, qsizetype(size) - 3);
    const auto *bytes = reinterpret_cast<const char *>(data) + 3;
    const QByteArray first(bytes, length);
    const QByteArray rest(bytes + length, qsizetype(size) - 3 - length);
    if (data[0] % 2 == 0)
        readRecording(first, rest);
    else
        readRecord(first.left(RecordFormat::Size), rest);
    return 0;
}
