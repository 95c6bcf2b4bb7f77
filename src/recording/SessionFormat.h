#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

// A session recording: every sample the program took from the first Start
// after a port pick until Exit (or the next pick), and what happened on the
// way, kept in the records folder's `sessions` folder as two files of one
// stem, both only ever appended to, so that a recording cut short by a crash
// or a power cut reads as far as it got with no repair:
//
//   STEM.samples  the sample bytes in arrival order and nothing else:
//                 byte n of the file is sample n (counting from 0).
//   STEM.events   UTF-8 text, one event a line, each line ended by '\n':
//                 SAMPLE '\t' TIME '\t' KIND ['\t' VALUE]...
//                 SAMPLE: the number of samples recorded before the event
//                 took effect (the first sample it applies to);
//                 TIME: the wall clock, ISO 8601 with milliseconds and the
//                 UTC offset ("2026-12-08T15:30:00.123+01:00").
//
// The first line is the header ("pulse-demo-session", version). A reader
// takes whole lines that parse; a line without its '\n' is a torn write and
// is left out, as are events whose SAMPLE lies past the samples file's end.
namespace SessionFormat {

constexpr const char *FolderName = "sessions";
constexpr const char *SamplesSuffix = ".samples";
constexpr const char *EventsSuffix = ".events";
constexpr const char *Magic = "pulse-demo-session";
constexpr int Version = 1;
// A Stop's values when it saved no record.
constexpr const char *NoRecord = "-";

enum class Kind {
    Header,   // Magic, Version
    Start,    // rate Hz, gain, baseline as streaming begins
    Stop,     // the record's file name and its SHA-256 in hex; both NoRecord when it was not saved
    Rate,     // Hz
    Gain,     // 1..10
    Baseline, // 0..5
    Marker,   // the marker's number, from 1
    Lost,     // the line went away
    Back,     // the line is open again
    Serial,   // the four digits read
    Time,     // a time point: no value; SAMPLE counts the samples up to the end of a batch read at TIME
    Gap,      // how many samples taken before SAMPLE were left out, the disk too far behind; at TIME it caught up
};

struct Event
{
    qint64 sample = 0;
    QDateTime time;
    Kind kind = Kind::Time;
    QStringList values;
};

// Whether the sensor streams, as the events say: it streams from a Start, and
// from a rate, gain or baseline change, which restarts it even after a Stop;
// until a Stop or the line's loss. No command reaches a lost line, and a line
// that comes back resumes a stream that ran. Samples arrive only while
// flowing(); the program writes its events by this rule, and readers take
// the runs of samples from it.
struct Stream
{
    bool streaming = false;
    bool lost = false;
    bool flowing() const { return streaming && !lost; }
    // After an event of this kind.
    Stream after(Kind kind) const;
};

// The keyword of a kind in the events file ("start", "stop", ...).
QByteArray keyword(Kind kind);

// One line of the events file, '\n' included.
QByteArray line(const Event &event);

// One line without its '\n'; nothing when it is not an event line.
std::optional<Event> parse(QByteArrayView text);

// The stem of a recording that starts at `start` (local time, to the
// second); `attempt` > 1 adds "-2", "-3", ... for a stem already taken.
QString stem(const QDateTime &start, int attempt = 1);

} // namespace SessionFormat
