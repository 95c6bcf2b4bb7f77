#pragma once

#include "acquire/FileProblem.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class QFile;
class QThread;

// The disk work of a session recording, on a thread of its own: a records
// folder on a slow stick, a network share or a synced folder can hold a sync
// for seconds, and the thread that takes the samples must not wait for it.
//
// hand() copies what the caller collected into buffers allocated once, under
// a lock that the thread holds only to swap those buffers for its own; the
// thread then appends each file's bytes, samples before events, and syncs
// when asked. The buffers never grow: one without room is a disk that has
// stalled for longer than they hold, which the caller sees in samplesRoom()
// and eventsRoom() before it collects more, and decides what to leave out.
class SessionWriter
{
public:
    // About 17 minutes of samples at 1000 Hz. A flood fills it within a
    // second, but then the disk sets the pace, not a stall.
    static constexpr qsizetype SamplesCapacity = qsizetype(1) << 20;
    // A time point a second for far longer than that, and the operator's events.
    static constexpr qsizetype EventsCapacity = qsizetype(256) << 10;

    // `failed` runs on the writer's thread, at most once per recording, with
    // the recording's number (from open()) and why; it must only hand the news
    // on. After the first failure nothing more of that recording is written.
    explicit SessionWriter(std::function<void(quint64 recording, FileProblem why)> failed);
    // Does not wait for a thread that is still at a disk: drain() is the wait.
    ~SessionWriter();
    SessionWriter(const SessionWriter &) = delete;
    SessionWriter &operator=(const SessionWriter &) = delete;

    // A new recording whose two files exist, the header written: the thread
    // first syncs them and their folder. Call it with nothing left to write
    // (after drain()). Returns the recording's number.
    quint64 open(const QString &stem);

    // How much more hand() takes now; it can only grow until the next hand().
    qsizetype samplesRoom() const;
    qsizetype eventsRoom() const;

    // Copies both for the thread (nothing, and false, when they do not fit)
    // and, with `sync`, asks for both files to be synced after them.
    bool hand(const QByteArray &samples, const QByteArray &events, bool sync);

    // Waits at most `ms` until everything handed is written; false when the
    // thread is still at it, and then this writer is to be replaced.
    bool drain(int ms);

    // Shared with SessionRecorder::begin(), which makes the files.
    static bool syncToDisk(QFile &file);
    static void syncFolder(const QString &folder);
    static FileProblem openProblem(const QString &file);
    static FileProblem writeProblem(const QFile &file, qsizetype wanted);

private:
    struct Shared;
    static void run(Shared &s);

    std::shared_ptr<Shared> shared_; // the thread's too, so it may outlive this
    QThread *thread_ = nullptr;
    bool stuck_ = false; // drain() gave up on it
};
