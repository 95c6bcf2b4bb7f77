#pragma once

#include "FileProblem.h"
#include "SessionFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <span>

// Writes one session recording (see SessionFormat) as samples and events
// arrive: the samples are taken in memory and written about once a second,
// samples before the events that refer to them, and synced to disk when the
// caller asks (Stop, a lost line, the end) and at least every ten seconds.
// Each file is opened for every write and closed again, so that a sessions
// folder removed or replaced meanwhile is noticed at once, and nothing holds
// the folder while the recording waits.
//
// A write that fails ends the recording where it got: what was written stays
// readable, nothing more is written, and failed() says why, once. A new
// begin() starts a new recording.
class SessionRecorder : public QObject
{
    Q_OBJECT
public:
    explicit SessionRecorder(QObject *parent = nullptr);
    ~SessionRecorder() override;

    // Samples wait at most this long in memory while the stream runs, and a
    // time point is added about as often.
    static constexpr qint64 WriteIntervalMs = 950;
    static constexpr qint64 SyncIntervalMs = 9500;
    // A faster stream than the sensor's is written in pieces of this size.
    static constexpr qsizetype MaxPendingBytes = qsizetype(64) * 1024;
    static constexpr int MaxAttempts = 100;

    // Where the time comes from: a steady clock in ms and the wall clock.
    void setClock(std::function<qint64()> steadyMs, std::function<QDateTime()> wallClock);

    // Starts a new recording in `recordsFolder`'s sessions folder, ending any
    // earlier one; false (and problem()) when it cannot be made.
    bool begin(const QString &recordsFolder);
    // Writes what waits, syncs and closes; a new recording needs begin().
    void end();
    // A recording is open and writing.
    bool recording() const { return open_; }

    void take(std::span<const std::uint8_t> samples);
    // An event at the current sample, now.
    void note(SessionFormat::Kind kind, const QStringList &values = {});
    // Writes what waits and syncs it to disk.
    void sync();

    qint64 sampleCount() const { return samples_; }
    // The recording's files without their suffix, absolute.
    const QString &path() const { return path_; }
    FileProblem problem() const { return problem_; }

signals:
    // A write failed and the recording ended; problem() says why.
    void failed();

private:
    void write(bool toDisk);
    bool append(const QString &suffix, const QByteArray &bytes, bool toDisk, bool &dirty);
    void fail(FileProblem why);
    FileProblem openProblem(const QString &file) const;

    std::function<qint64()> steadyMs_;
    std::function<QDateTime()> wallClock_;
    QElapsedTimer steady_;
    QTimer tail_; // writes what waits when no more samples come

    bool open_ = false;
    QString path_;
    FileProblem problem_ = FileProblem::None;
    qint64 samples_ = 0;
    QByteArray pendingSamples_;
    QByteArray pendingEvents_;
    qint64 lastWriteMs_ = 0;
    qint64 lastSyncMs_ = 0;
    qint64 lastTimePointMs_ = 0;
    bool samplesDirty_ = false; // written since the last sync
    bool eventsDirty_ = false;
};
