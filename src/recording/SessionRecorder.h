#pragma once

#include "SessionFormat.h"
#include "SessionWriter.h"
#include "acquire/FileProblem.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

// Writes one session recording (see SessionFormat) as samples and events
// arrive: the samples are taken in memory and handed to a SessionWriter about
// once a second, which writes them on its own thread, samples before the
// events that refer to them, and syncs them to disk when the caller asks
// (Stop, a lost line, the end) and at least every ten seconds. Nothing here
// waits for the disk but end(). Each file is opened for every write and
// closed again, so that a sessions folder removed or replaced meanwhile is
// noticed at once, and nothing holds the folder while the recording waits.
//
// A write that fails ends the recording where it got: what was written stays
// readable, nothing more is written, and failed() says why, once, on this
// object's thread. A disk that stalls for longer than the writer holds leaves
// the samples of the stall out: fellBehind() says so once a recording, and a
// gap event marks the place. A new begin() starts a new recording.
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
    // How long end() waits for the writer: Exit must leave the recording
    // whole, but a dead disk must not hold Exit, or a pick, for ever.
    static constexpr int EndWaitMs = 20000;

    // Where the time comes from: a steady clock in ms and the wall clock.
    void setClock(std::function<qint64()> steadyMs, std::function<QDateTime()> wallClock);

    // Starts a new recording in `recordsFolder`'s sessions folder, ending any
    // earlier one; false (and problem()) when it cannot be made.
    bool begin(const QString &recordsFolder);
    // Writes what waits, syncs and closes, waiting for the disk at most
    // EndWaitMs; a new recording needs begin().
    void end();
    // A recording is open and writing.
    bool recording() const { return open_; }

    void take(std::span<const std::uint8_t> samples);
    // An event at the current sample, now.
    void note(SessionFormat::Kind kind, const QStringList &values = {});
    // Has what waits written and synced to disk, without waiting for it.
    void sync();

    // The recording's files without their suffix, absolute.
    const QString &path() const { return path_; }
    FileProblem problem() const { return problem_; }

signals:
    // A write failed and the recording ended; problem() says why.
    void failed();
    // The disk has fallen so far behind that samples are being left out.
    void fellBehind();
    // The writer's news, from its thread; only onWriterFailed() listens.
    void writerFailed(quint64 recording, FileProblem why);

private:
    void write(bool toDisk);
    void leaveOut(qsizetype samples);
    void onWriterFailed(quint64 number, FileProblem why);
    std::unique_ptr<SessionWriter> makeWriter();

    std::function<qint64()> steadyMs_;
    std::function<QDateTime()> wallClock_;
    QElapsedTimer steady_;
    QTimer tail_; // writes what waits when no more samples come

    bool open_ = false;
    QString path_;
    FileProblem problem_ = FileProblem::None;
    qint64 samples_ = 0; // recorded, those of a gap left out
    QByteArray pendingSamples_;
    QByteArray pendingEvents_;
    qint64 lastWriteMs_ = 0;
    qint64 lastSyncMs_ = 0;
    qint64 lastTimePointMs_ = 0;
    std::unique_ptr<SessionWriter> writer_;
    quint64 recording_ = 0; // the writer's number for it
    qint64 leftOut_ = 0;    // samples since the gap began
    bool toldBehind_ = false;
};
