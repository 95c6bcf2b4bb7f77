#include "SessionExport.h"

#include "CommandLine.h"
#include "RecordEdf.h"
#include "RecordTexts.h"
#include "acquire/WallClock.h"
#include "app/SessionEventText.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace SessionExport {

std::vector<Stretch> steady(const SessionReader &recording)
{
    std::vector<Stretch> out;
    const auto &rates = recording.rates();
    for (const SessionReader::Run &run : recording.runs()) {
        qint64 first = run.first;
        // Only the rate changes inside the run: many runs and many changes
        // are no product of the two.
        auto change = std::upper_bound(rates.begin(), rates.end(), first,
                                       [](qint64 s, const auto &rate) { return s < rate.first; });
        for (; change != rates.end() && change->first < run.end; ++change) {
            out.push_back({first, change->first, recording.rateAt(first).value_or(0)});
            first = change->first;
        }
        if (run.end > first)
            out.push_back({first, run.end, recording.rateAt(first).value_or(0)});
    }
    return out;
}

std::vector<PulseWindow> pulse(const SessionReader &recording)
{
    std::vector<PulseWindow> out;
    for (const Stretch &s : steady(recording)) {
        if (!(s.rateHz > 0))
            continue;
        const auto window = qint64(std::llround(PulseWindowSeconds * s.rateHz));
        const double shortest = MinPulseWindowSeconds * s.rateHz;
        for (qint64 at = s.first; at < s.end; at += window) {
            const qint64 end = std::min(s.end, at + window);
            if (double(end - at) >= shortest)
                out.push_back({{at, end, s.rateHz}, PulseRate::estimate(recording.view(at, end), s.rateHz)});
        }
    }
    return out;
}

namespace {

// ISO 8601 with milliseconds and the offset, as in the events file; the
// date is formatted once a day, which keeps an hour's CSV quick.
class ClockFormat
{
public:
    explicit ClockFormat(const SessionReader &recording)
        : offset_(recording.atOffset(0).offsetFromUtc())
        , suffix_(WallClock::offsetText(offset_).toLatin1())
    { }

    QByteArray operator()(double msecs)
    {
        constexpr qint64 DayMs = 86400000;
        const qint64 local = std::llround(msecs) + qint64(offset_) * 1000;
        const qint64 day = local >= 0 ? local / DayMs : (local - DayMs + 1) / DayMs;
        if (day != day_) {
            day_ = day;
            date_ = QDate(1970, 1, 1).addDays(day).toString(Qt::ISODate).toLatin1() + 'T';
        }
        const qint64 ms = local - day * DayMs;
        char clock[16];
        std::snprintf(clock, sizeof clock, "%02d:%02d:%02d.%03d", int(ms / 3600000), int(ms / 60000 % 60),
                      int(ms / 1000 % 60), int(ms % 1000));
        return date_ + clock + suffix_;
    }

private:
    int offset_;
    QByteArray suffix_;
    qint64 day_ = std::numeric_limits<qint64>::min();
    QByteArray date_;
};

QByteArray csvField(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n'))
        bytes = '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

} // namespace

bool csv(const SessionReader &recording, const std::function<bool(const QByteArray &)> &write)
{
    constexpr qsizetype BlockBytes = 1 << 20;
    QByteArray out = "sample,time,value,event\n";
    ClockFormat clock(recording);
    auto event = recording.events.begin();
    const auto eventsAt = [&](qint64 sample) {
        QStringList texts;
        for (; event != recording.events.end() && event->sample <= sample; ++event) {
            if (const QString text = Texts::sessionEvent(*event); !text.isEmpty())
                texts << text;
        }
        return csvField(texts.join(QStringLiteral("; ")));
    };
    for (qint64 s = 0; s < recording.count(); ++s) {
        out += QByteArray::number(s) + ',' + clock(recording.msecsOf(s)) + ',' +
            QByteArray::number(std::uint8_t(recording.samples[s])) + ',' + eventsAt(s) + '\n';
        if (out.size() >= BlockBytes) {
            if (!write(out))
                return false;
            out.clear();
        }
    }
    const QByteArray after = eventsAt(recording.count());
    if (!after.isEmpty())
        out += QByteArray::number(recording.count()) + ',' + clock(recording.msecsOf(recording.count())) + ",," +
            after + '\n';
    return write(out);
}

std::vector<Stretch> edfParts(const SessionReader &recording)
{
    std::vector<Stretch> out;
    const double firstRate = recording.rateAt(0).value_or(0);
    out.push_back({0, recording.count(), firstRate});
    for (const auto &[sample, hz] : recording.rates()) {
        if (hz == out.back().rateHz || sample >= recording.count())
            continue;
        out.back().end = sample;
        if (out.back().end == out.back().first)
            out.pop_back();
        out.push_back({sample, recording.count(), hz});
    }
    return out;
}

QStringList edfNames(const QString &file, int count)
{
    QStringList names {file};
    QString base = file;
    if (base.endsWith(QLatin1String(".edf"), Qt::CaseInsensitive))
        base.chop(4);
    for (int i = 2; i <= count; ++i)
        names << QStringLiteral("%1-%2.edf").arg(base).arg(i);
    return names;
}

bool writeEdf(const SessionReader &recording, const Stretch &part, const QString &path, QString *error)
{
    RecordEdf::Signal signal;
    signal.samples = recording.view(part.first, part.end);
    signal.rateHz = part.rateHz;
    signal.start = recording.timeOf(part.first);
    signal.additional = QStringLiteral("session %1 %2Hz")
                            .arg(QFileInfo(recording.stem).fileName(), CommandLine::rateText(part.rateHz))
                            .toLatin1();
    // Events at the part's end belong to the next part, unless none follows.
    // Only the part's own events and runs: a recording of many parts is no
    // product of parts and events.
    const bool last = part.end == recording.count();
    for (auto e = std::lower_bound(recording.events.begin(), recording.events.end(), part.first,
                                   [](const SessionFormat::Event &event, qint64 s) { return event.sample < s; });
         e != recording.events.end() && (e->sample < part.end || (last && e->sample == part.end)); ++e) {
        if (const QString text = Texts::sessionEvent(*e); !text.isEmpty())
            signal.notes.push_back({e->sample - part.first, -1, text});
    }
    const auto &runs = recording.runs();
    auto run = std::upper_bound(runs.begin(), runs.end(), part.first,
                                [](qint64 s, const SessionReader::Run &r) { return s < r.first; });
    for (run = run == runs.begin() ? run : std::prev(run); run != runs.end() && run->first < part.end; ++run) {
        const qint64 first = std::max(run->first, part.first);
        const qint64 end = std::min(run->end, part.end);
        if (end > first)
            RecordEdf::addBeats(signal.notes, recording.view(first, end), part.rateHz, first - part.first);
    }
    return RecordEdf::write(path, signal, error);
}

} // namespace SessionExport
