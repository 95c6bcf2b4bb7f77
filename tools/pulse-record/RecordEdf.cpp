#include "RecordEdf.h"

#include "PulseRate.h"
#include "RecordTexts.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <edflib.h>

namespace {

constexpr long long TicksPerSecond = 10000; // EDFlib's annotation unit: 100 us
constexpr int EarliestYear = 1985;          // EDF's dates run from 1985 to 2084
constexpr int LatestYear = 2084;
constexpr int MaxAnnotationSignals = 64;

long long ticks(double seconds)
{
    return std::llround(seconds * TicksPerSecond);
}

struct Annotation
{
    long long onset = 0;     // in EDF ticks from the file's start
    long long duration = -1; // -1: none
    QByteArray text;
};

int writeAnnotation(int handle, const Annotation &note)
{
#ifdef PULSE_EDFLIB_MICROSECOND_ANNOTATIONS
    // The same times on the same 100 us grid, in the newer call's microseconds.
    constexpr long long MicrosecondsPerTick = 1000000 / TicksPerSecond;
    const long long duration = note.duration < 0 ? -1 : note.duration * MicrosecondsPerTick;
    return edfwrite_annotation_utf8_hr(handle, note.onset * MicrosecondsPerTick, duration, note.text.constData());
#else
    return edfwrite_annotation_utf8(handle, note.onset, note.duration, note.text.constData());
#endif
}

} // namespace

double RecordEdf::recordSeconds(double rateHz)
{
    for (double seconds : RecordSecondsChoices) {
        const double samples = rateHz * seconds;
        if (samples >= 1 && std::abs(samples - std::round(samples)) < 1e-9)
            return seconds;
    }
    return 0;
}

std::optional<QDateTime> RecordEdf::startOf(const Part &part, double rateHz)
{
    if (!part.facts)
        return std::nullopt;
    const qint64 ms = std::llround(1000.0 * double(part.series.values.size()) / rateHz);
    return part.facts->savedAt.addMSecs(-ms);
}

void RecordEdf::addBeats(std::vector<Note> &notes, std::span<const std::uint8_t> samples, double rateHz, qint64 at)
{
    for (int beat : PulseRate::beats(samples, rateHz))
        notes.push_back({at + beat, -1, RecordTexts::EdfBeat});
}

bool RecordEdf::write(const QString &path, const std::vector<Part> &parts, double rateHz, QString *error)
{
    std::vector<std::uint8_t> samples;
    Signal signal;
    for (const Part &part : parts) {
        const auto at = qint64(samples.size());
        signal.notes.push_back({at, -1, RecordTexts::edfRecordBegins(part.name)});
        if (part.series.gapAt >= 0)
            signal.notes.push_back({at + part.series.gapAt, 1, RecordTexts::EdfMissingSample});
        addBeats(signal.notes, part.series.values, rateHz, at);
        samples.insert(samples.end(), part.series.values.begin(), part.series.values.end());
    }
    signal.samples = samples;
    signal.rateHz = rateHz;
    signal.start = startOf(parts.front(), rateHz);
    if (const auto &facts = parts.front().facts)
        signal.additional = QStringLiteral("%1 %2Hz gain %3x baseline %4")
                                .arg(facts->port)
                                .arg(facts->rateHz)
                                .arg(facts->gain)
                                .arg(facts->baseline)
                                .toLatin1();
    return write(path, signal, error);
}

bool RecordEdf::write(const QString &path, const Signal &signal, QString *error)
{
    const double rateHz = signal.rateHz;
    const double seconds = recordSeconds(rateHz);
    if (seconds == 0) {
        *error = RecordTexts::edfRateUnusable(rateHz, std::end(RecordSecondsChoices)[-1]);
        return false;
    }
    const int perRecord = int(std::lround(rateHz * seconds));
    const auto at = [&](qint64 sample) { return ticks(double(sample) / rateHz); };

    std::vector<Annotation> notes;
    for (const Note &n : signal.notes)
        notes.push_back({at(n.sample), n.samples < 0 ? -1 : at(n.samples), n.text.toUtf8()});
    std::vector<short> samples(signal.samples.begin(), signal.samples.end());
    const size_t held = samples.size();
    const size_t records = std::max<size_t>(1, (held + size_t(perRecord) - 1) / size_t(perRecord));
    // The last data record is filled with the last value, so no step appears,
    // and an annotation says those samples are not data.
    samples.resize(records * size_t(perRecord), held ? samples[held - 1] : short(0));
    if (samples.size() > held)
        notes.push_back({at(qint64(held)), at(qint64(samples.size() - held)), RecordTexts::EdfPadding.toUtf8()});

    std::stable_sort(notes.begin(), notes.end(),
                     [](const Annotation &a, const Annotation &b) { return a.onset < b.onset; });

    const int handle = edfopen_file_writeonly(QFile::encodeName(path).constData(), EDFLIB_FILETYPE_EDFPLUS, 1);
    if (handle < 0) {
        error->clear();
        return false;
    }
    const int annotationSignals = std::clamp(int((notes.size() + records - 1) / records) + 1, 1, MaxAnnotationSignals);
    bool ok = edf_set_datarecord_duration(handle, int(std::lround(seconds * 100000))) == 0 &&
        edf_set_samplefrequency(handle, 0, perRecord) == 0 && edf_set_digital_minimum(handle, 0, DigitalMin) == 0 &&
        edf_set_digital_maximum(handle, 0, DigitalMax) == 0 && edf_set_physical_minimum(handle, 0, DigitalMin) == 0 &&
        edf_set_physical_maximum(handle, 0, DigitalMax) == 0 && edf_set_physical_dimension(handle, 0, Dimension) == 0 &&
        edf_set_label(handle, 0, Label) == 0 && edf_set_equipment(handle, "pulse-demo") == 0 &&
        edf_set_number_of_annotation_signals(handle, annotationSignals) == 0;

    // Without a known time, the date that EDF uses for "unknown".
    QDateTime start(QDate(EarliestYear, 1, 1), QTime(0, 0));
    if (const auto &known = signal.start;
        known && known->date().year() >= EarliestYear && known->date().year() <= LatestYear)
        start = *known;
    const QDate d = start.date();
    const QTime t = start.time();
    ok = ok && edf_set_startdatetime(handle, d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()) == 0 &&
        edf_set_subsecond_starttime(handle, t.msec() * 10000) == 0;
    if (ok && !signal.additional.isEmpty())
        ok = edf_set_recording_additional(handle, signal.additional.constData()) == 0;

    for (size_t r = 0; ok && r < records; ++r)
        ok = edfwrite_digital_short_samples(handle, samples.data() + r * size_t(perRecord)) == 0;
    for (const Annotation &n : notes) {
        if (ok)
            ok = writeAnnotation(handle, n) == 0;
    }
    // Closing writes the annotations and the header's record count.
    ok = edfclose_file(handle) == 0 && ok;
    if (!ok)
        error->clear();
    return ok;
}
