#include "SessionReader.h"

#include "acquire/InputFile.h"
#include "link/SensorCommands.h"

#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

using SessionFormat::Kind;

namespace {

bool hasSuffix(const QString &path, const char *suffix)
{
    return path.endsWith(QLatin1String(suffix));
}

// A rate as the recorder writes it, and only one the sensor has.
bool sensorRate(const QStringList &values)
{
    bool number = false;
    const double hz = values.value(0).toDouble(&number);
    return number &&
        std::find(SensorCommands::RatesHz.begin(), SensorCommands::RatesHz.end(), hz) != SensorCommands::RatesHz.end();
}

// The first bytes of a header line: "0", a tab, the clock's characters, a
// tab and the start of the header's keyword.
bool tornHeader(const QByteArray &text)
{
    const QList<QByteArray> fields = text.split('\t');
    if (fields.size() > 3 || fields[0] != "0")
        return false;
    for (const char c : fields.value(1)) {
        if (!QByteArrayView("0123456789-:.T+Z").contains(c))
            return false;
    }
    return fields.size() < 3 || QByteArrayView(SessionFormat::Magic).startsWith(fields[2]);
}

} // namespace

bool SessionReader::isRecording(const QString &path)
{
    if (hasSuffix(path, SessionFormat::SamplesSuffix) || hasSuffix(path, SessionFormat::EventsSuffix))
        return true;
    return !QFileInfo::exists(path) &&
        (QFileInfo::exists(path + QLatin1String(SessionFormat::SamplesSuffix)) ||
         QFileInfo::exists(path + QLatin1String(SessionFormat::EventsSuffix)));
}

QString SessionReader::stemOf(const QString &path)
{
    for (const char *suffix : {SessionFormat::SamplesSuffix, SessionFormat::EventsSuffix}) {
        if (hasSuffix(path, suffix))
            return path.chopped(qsizetype(qstrlen(suffix)));
    }
    return path;
}

SessionReader SessionReader::load(const QString &path)
{
    SessionReader r;
    const QString stem = stemOf(path);
    const QString eventsPath = stem + QLatin1String(SessionFormat::EventsSuffix);
    const QString samplesPath = stem + QLatin1String(SessionFormat::SamplesSuffix);
    const auto fail = [&](Problem problem, const QString &file) {
        r.stem = stem;
        r.problem = problem;
        r.file = file;
        return r;
    };
    // Events first: samples written meanwhile only add to what they cover.
    const InputFile::Result events = InputFile::read(eventsPath, MaxEventsBytes);
    if (events.status == InputFile::Status::Missing)
        return fail(Problem::Missing, eventsPath);
    // No samples file yet is a recording that holds none.
    InputFile::Result samples = InputFile::read(samplesPath, std::numeric_limits<qint64>::max() - 1);
    if (samples.status == InputFile::Status::Missing)
        samples.status = InputFile::Status::Read;
    const std::array<std::pair<QString, const InputFile::Result *>, 2> files {
        {{eventsPath, &events}, {samplesPath, &samples}}};
    for (const auto &[file, read] : files) {
        if (read->status == InputFile::Status::NotAFile)
            return fail(Problem::NotAFile, file);
        if (read->status == InputFile::Status::TooLarge)
            return fail(Problem::TooLarge, file);
        if (read->status != InputFile::Status::Read)
            return fail(Problem::Unreadable, file);
    }
    return parse(path, events.bytes, std::move(samples.bytes));
}

SessionReader SessionReader::parse(const QString &path, const QByteArray &text, QByteArray samples)
{
    SessionReader r;
    r.stem = stemOf(path);
    r.samples = std::move(samples);
    const QString eventsPath = r.stem + QLatin1String(SessionFormat::EventsSuffix);
    const auto fail = [&](Problem problem, int line = 0, const QString &value = {}) {
        r.problem = problem;
        r.file = eventsPath;
        r.line = line;
        r.value = value;
        r.samples.clear();
        r.events.clear();
        return r;
    };

    // Only lines ended by '\n' were written whole.
    const qsizetype whole = text.lastIndexOf('\n') + 1;
    if (text.isEmpty())
        return fail(Problem::Empty);
    // A header cut short by a kill is a recording that holds nothing yet;
    // anything else without a line is not a recording.
    if (whole == 0 && !tornHeader(text))
        return fail(Problem::NotASession);
    if (whole < text.size())
        ++r.leftOut;
    int lineNumber = 0;
    for (QByteArrayView rest(text.constData(), whole); !rest.isEmpty();) {
        const qsizetype eol = rest.indexOf('\n');
        const std::optional<SessionFormat::Event> event = SessionFormat::parse(rest.first(eol));
        rest = rest.sliced(eol + 1);
        if (++lineNumber == 1) {
            if (!event || event->kind != Kind::Header)
                return fail(Problem::NotASession);
            bool number = false;
            const int version = event->values.value(0).toInt(&number);
            if (number && version > SessionFormat::Version)
                return fail(Problem::NewerVersion, lineNumber, event->values.value(0));
            if (!number || version < 1 || event->values.size() != 1)
                return fail(Problem::NotASession);
            r.m_offset = event->time.offsetFromUtc();
            continue;
        }
        // A rate the sensor never had would make every span and window absurd.
        if (event && (event->kind == Kind::Start || event->kind == Kind::Rate) && !sensorRate(event->values))
            return fail(Problem::BadRate, lineNumber, event->values.value(0));
        if (!event || event->kind == Kind::Header || event->sample > r.count() ||
            (!r.events.empty() && event->sample < r.events.back().sample)) {
            ++r.leftOut;
            continue;
        }
        r.events.push_back(*event);
    }
    r.index();
    r.followClockSteps();
    return r;
}

std::span<const std::uint8_t> SessionReader::view(qint64 from, qint64 to) const
{
    from = std::clamp<qint64>(from, 0, count());
    to = std::clamp<qint64>(to, from, count());
    return {reinterpret_cast<const std::uint8_t *>(samples.constData()) + from, size_t(to - from)};
}

void SessionReader::index()
{
    // The rates, the last of several at one sample winning, and the
    // nominal seconds they add up to.
    for (const SessionFormat::Event &e : events) {
        if (e.kind != Kind::Start && e.kind != Kind::Rate)
            continue;
        bool number = false;
        const double hz = e.values.value(0).toDouble(&number);
        if (!number || !(hz > 0))
            continue;
        if (!m_rates.empty() && m_rates.back().first == e.sample)
            m_rates.back().second = hz;
        else
            m_rates.emplace_back(e.sample, hz);
    }
    for (size_t i = 0; i < m_rates.size(); ++i)
        m_rateSeconds.push_back(i == 0 ? 0.0
                                       : m_rateSeconds[i - 1] +
                                        double(m_rates[i].first - m_rates[i - 1].first) / m_rates[i - 1].second);

    // Runs: where the stream flows (SessionFormat::Stream). Samples left out
    // (a disk too far behind) end a run where they were, and the stream goes
    // on in a new one.
    SessionFormat::Stream stream;
    for (size_t i = 0; i < events.size(); ++i) {
        const SessionFormat::Event &e = events[i];
        const bool before = stream.flowing();
        stream = stream.after(e.kind);
        const bool after = stream.flowing();
        if (e.kind == Kind::Gap && before && m_runs.back().first < e.sample) {
            m_runs.back().lastEvent = i - 1;
            m_runs.push_back({e.sample, e.sample, i, events.size() - 1});
        } else if (!before && after)
            m_runs.push_back({e.sample, e.sample, i, events.size() - 1});
        else if (before && !after)
            m_runs.back().lastEvent = i;
    }
    // A run ends where the next begins: the sensor sends a few more bytes
    // before it obeys a Stop. Their time points (a time event at their
    // batch's end) are the run's; what came during the gap is not.
    for (size_t k = 0; k < m_runs.size(); ++k) {
        Run &run = m_runs[k];
        const bool last = k + 1 == m_runs.size();
        run.end = last ? count() : m_runs[k + 1].first;
        const size_t bound = last ? events.size() : m_runs[k + 1].firstEvent;
        const qint64 stopped = events[run.lastEvent].sample;
        for (size_t i = run.lastEvent + 1; i < bound; ++i) {
            const SessionFormat::Event &e = events[i];
            if (e.sample > run.end || (e.sample == run.end && (e.kind != Kind::Time || run.end == stopped)))
                break;
            run.lastEvent = i;
        }
    }
    // A restart that brought no samples (the line lost meanwhile, or the end).
    std::erase_if(m_runs, [](const Run &run) { return run.end == run.first; });
    // Without a Start, every time point still counts.
    if (m_runs.empty() && !events.empty())
        m_runs.push_back({0, count(), 0, events.size() - 1});
}

void SessionReader::followClockSteps()
{
    // Which run each event is a time point of (-1: between runs).
    std::vector<int> runOf(events.size(), -1);
    for (size_t k = 0; k < m_runs.size(); ++k) {
        for (size_t i = m_runs[k].firstEvent; i <= m_runs[k].lastEvent; ++i)
            runOf[i] = int(k);
    }
    const auto ms = [](const SessionFormat::Event &e) { return double(e.time.toMSecsSinceEpoch()); };
    double offset = 0; // what the steps so far took out
    for (size_t i = 1; i < events.size(); ++i) {
        SessionFormat::Event &e = events[i];
        const double previous = ms(events[i - 1]);
        const double counted = 1000 * (nominalSeconds(e.sample) - nominalSeconds(events[i - 1].sample));
        const double tolerance = ClockStepMs + ClockStepShare * counted;
        const int run = runOf[i];
        const bool sameRun = run >= 0 && run == runOf[i - 1];
        // Never before the one before, nor a run before the last samples of
        // the run before it (they come after its last time point).
        double floor = previous;
        if (run > 0 && m_runs[size_t(run)].firstEvent == i) {
            const Run &before = m_runs[size_t(run) - 1];
            const SessionFormat::Event &last = events[before.lastEvent];
            floor = std::max(floor, ms(last) + 1000 * (nominalSeconds(before.end) - nominalSeconds(last.sample)));
        }
        double at = ms(e) + offset;
        // Within a run the samples keep time; between runs only a clock that
        // goes back shows a step.
        const double expected = sameRun ? previous + counted : floor;
        if (sameRun ? std::abs(at - expected) > tolerance : at < floor - tolerance) {
            offset += expected - at;
            at = expected;
        }
        at = std::ceil(std::max(at, floor));
        if (at != ms(e))
            e.time = atOffset(at).toOffsetFromUtc(e.time.offsetFromUtc());
    }
}

std::optional<double> SessionReader::rateAt(qint64 sample) const
{
    if (m_rates.empty())
        return std::nullopt;
    const auto after = std::upper_bound(m_rates.begin(), m_rates.end(), sample,
                                        [](qint64 s, const auto &rate) { return s < rate.first; });
    return after == m_rates.begin() ? m_rates.front().second : std::prev(after)->second;
}

std::vector<double> SessionReader::ratesUsed() const
{
    std::vector<double> used;
    for (const auto &[sample, hz] : m_rates) {
        if (std::find(used.begin(), used.end(), hz) == used.end())
            used.push_back(hz);
    }
    return used;
}

int SessionReader::markers() const
{
    return int(std::count_if(events.begin(), events.end(),
                             [](const SessionFormat::Event &e) { return e.kind == Kind::Marker; }));
}

double SessionReader::nominalSeconds(qint64 sample) const
{
    if (m_rates.empty())
        return double(sample) / SensorCommands::PowerUpRateHz;
    const auto after = std::upper_bound(m_rates.begin(), m_rates.end(), sample,
                                        [](qint64 s, const auto &rate) { return s < rate.first; });
    const size_t k = after == m_rates.begin() ? 0 : size_t(after - m_rates.begin()) - 1;
    return m_rateSeconds[k] + double(sample - m_rates[k].first) / m_rates[k].second;
}

double SessionReader::msecsOf(qint64 sample) const
{
    if (m_runs.empty())
        return 0;
    // The last run that has begun by this sample, else the first.
    auto run =
        std::upper_bound(m_runs.begin(), m_runs.end(), sample, [](qint64 s, const Run &r) { return s < r.first; });
    const Run &r = run == m_runs.begin() ? m_runs.front() : *std::prev(run);

    const auto anchorsBegin = events.begin() + qsizetype(r.firstEvent);
    const auto anchorsEnd = events.begin() + qsizetype(r.lastEvent) + 1;
    const auto next = std::lower_bound(anchorsBegin, anchorsEnd, sample,
                                       [](const SessionFormat::Event &e, qint64 s) { return e.sample < s; });
    const auto previous = std::upper_bound(anchorsBegin, anchorsEnd, sample,
                                           [](qint64 s, const SessionFormat::Event &e) { return s < e.sample; });
    const double at = nominalSeconds(sample);
    const auto ms = [](const SessionFormat::Event &e) { return double(e.time.toMSecsSinceEpoch()); };
    if (previous != anchorsBegin) {
        const SessionFormat::Event &a = *std::prev(previous);
        const double fromA = at - nominalSeconds(a.sample);
        if (next == anchorsEnd || next->sample == a.sample)
            return ms(a) + 1000.0 * fromA;
        // Samples arrive without a pause up to a time point; before another
        // event (a rate change restarts the sensor, dropping what waited)
        // they may have stopped early, so they keep the rate's pace.
        if (next->kind != Kind::Time)
            return std::min(ms(a) + 1000.0 * fromA, ms(*next));
        const double span = nominalSeconds(next->sample) - nominalSeconds(a.sample);
        return ms(a) + (ms(*next) - ms(a)) * fromA / span;
    }
    return ms(*next) - 1000.0 * (nominalSeconds(next->sample) - at);
}

QDateTime SessionReader::atOffset(double msecs) const
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(msecs)), QTimeZone::utc()).toOffsetFromUtc(m_offset);
}

QDateTime SessionReader::timeOf(qint64 sample) const
{
    return atOffset(msecsOf(sample));
}

qint64 SessionReader::sampleAt(double msecs) const
{
    qint64 low = 0;
    qint64 high = count();
    while (low < high) {
        const qint64 mid = low + (high - low) / 2;
        if (msecsOf(mid) < msecs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

QDateTime SessionReader::start() const
{
    return events.empty() ? QDateTime() : atOffset(double(events.front().time.toMSecsSinceEpoch()));
}

QDateTime SessionReader::end() const
{
    if (events.empty())
        return {};
    const double last = double(events.back().time.toMSecsSinceEpoch());
    return atOffset(count() > 0 ? std::max(last, msecsOf(count() - 1)) : last);
}
