#pragma once

#include "SessionFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// One session recording as far as it got: read while the program still
// writes it, or after a crash, with no repair. Whole event lines that parse
// are used; a torn last line, a line that does not parse, an event before
// the one above it, and an event whose sample lies past the samples file's
// end (its samples never reached the disk) are left out and counted.
class SessionReader
{
public:
    // Missing: no events file; NotAFile, TooLarge, Unreadable: `file`
    // cannot be read whole; Empty, NotASession: the events file is empty or
    // does not begin as a recording's; NewerVersion: the header's version
    // (`value`) is one this reader does not know; BadRate: the Start or Rate
    // on line `line` names a rate (`value`) the sensor does not have.
    enum class Problem { None, Missing, NotAFile, TooLarge, Unreadable, Empty, NotASession, NewerVersion, BadRate };

    // Far more than any real events file (a time point a second is about 40
    // bytes a second, 100 MB a month); a larger one is not read.
    static constexpr qint64 MaxEventsBytes = qint64(256) << 20;
    // A wall clock that differs from the samples' count by more than this
    // between two points of one run (or runs back at all) was set meanwhile:
    // from there on, the samples count the time.
    static constexpr double ClockStepMs = 5000;
    static constexpr double ClockStepShare = 0.05;

    // Samples arriving without a break: from a Start, a rate, gain or
    // baseline change that restarted a stopped stream, or a Back, to the
    // next run or the last sample. Its samples end soon after the Stop or
    // Lost that ends it: the few the sensor sent before it obeyed a Stop
    // are the run's too.
    struct Run
    {
        qint64 first = 0;      // first sample
        qint64 end = 0;        // one past the last
        size_t firstEvent = 0; // events[firstEvent..lastEvent] happened while its samples came
        size_t lastEvent = 0;
    };

    Problem problem = Problem::None;
    QString file;  // the file the problem is in
    int line = 0;  // its line, for BadRate
    QString value; // the version or rate it names
    QString stem;  // the path without ".samples" / ".events"
    QByteArray samples;
    std::vector<SessionFormat::Event> events; // the header left out
    int leftOut = 0;                          // event lines not used

    // A path names a recording when it ends in ".samples" or ".events", or
    // when it names no file but STEM.samples or STEM.events exists.
    static bool isRecording(const QString &path);
    static QString stemOf(const QString &path);
    static SessionReader load(const QString &path);
    // The same from the two files' contents; `path` only names it in messages.
    static SessionReader parse(const QString &path, const QByteArray &events, QByteArray samples);

    bool ok() const { return problem == Problem::None; }
    qint64 count() const { return samples.size(); }
    std::span<const std::uint8_t> view(qint64 from, qint64 to) const;

    // The sensor's rate for a sample: the last Start or Rate at or before
    // it; nothing when the recording names none.
    std::optional<double> rateAt(qint64 sample) const;
    // (first sample, Hz) from Start and Rate events, one entry per sample.
    const std::vector<std::pair<qint64, double>> &rates() const { return m_rates; }
    // Rates in the order first used, each once.
    std::vector<double> ratesUsed() const;
    int markers() const;
    const std::vector<Run> &runs() const { return m_runs; }

    // When a sample arrived, from the events of its run (each one a time
    // point, with any step of the wall clock taken out, so that times never
    // run back): up to a `time` event, in proportion to the samples' durations
    // at the rates in force since the one before (so the clock's own pace is
    // kept); up to any other event, or past the last, at the rate in force
    // (and never after that event).
    // `sample` may equal count(), the next sample to come.
    double msecsOf(qint64 sample) const;
    QDateTime timeOf(qint64 sample) const;
    // The first sample that arrived at or after `msecs`; count() if none.
    qint64 sampleAt(double msecs) const;
    // The first event's time, and the later of the last event and the last sample.
    QDateTime start() const;
    QDateTime end() const;
    QDateTime atOffset(double msecs) const; // in the recording's own UTC offset

private:
    void index();
    void followClockSteps();
    double nominalSeconds(qint64 sample) const;

    std::vector<std::pair<qint64, double>> m_rates; // (first sample, Hz), one per sample
    std::vector<double> m_rateSeconds;              // nominal seconds at each m_rates entry
    std::vector<Run> m_runs;
    int m_offset = 0; // seconds ahead of UTC
};
