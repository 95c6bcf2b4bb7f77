#include "SessionWriter.h"

#include "SessionFormat.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStorageInfo>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

struct SessionWriter::Shared
{
    QMutex mutex;
    QWaitCondition wake; // work, or the end
    QWaitCondition done; // a job written
    // What the thread takes next; allocated once, never beyond capacity.
    QByteArray samples;
    QByteArray events;
    // Their sizes, read without the lock: they only shrink meanwhile.
    std::atomic<qsizetype> queuedSamples {0};
    std::atomic<qsizetype> queuedEvents {0};
    bool syncWanted = false;
    quint64 handed = 0; // jobs handed, and written
    quint64 written = 0;
    quint64 recording = 0;
    quint64 failedRecording = 0;
    QString stem;
    bool stop = false;
    std::function<void(quint64, FileProblem)> failed;
};

namespace {

// Appends to one of the recording's files and syncs it when asked, if it was
// written since its last sync. `dirty` carries that over from call to call.
FileProblem append(const QString &path, const QByteArray &bytes, bool sync, bool &dirty)
{
    if (bytes.isEmpty() && !(sync && dirty))
        return FileProblem::None;
    // Never created here: a file that has gone stays gone, and says so. Opened
    // for each write, so that nothing holds the folder meanwhile.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return file.exists() ? SessionWriter::openProblem(path) : FileProblem::Gone;
    if (file.write(bytes) != bytes.size())
        return SessionWriter::writeProblem(file, bytes.size());
    dirty = !sync;
    if (sync && !SessionWriter::syncToDisk(file))
        return FileProblem::Other;
    return FileProblem::None;
}

} // namespace

SessionWriter::SessionWriter(std::function<void(quint64, FileProblem)> failed)
    : shared_(std::make_shared<Shared>())
{
    shared_->failed = std::move(failed);
    shared_->samples.reserve(SamplesCapacity);
    shared_->events.reserve(EventsCapacity);
    thread_ = QThread::create([s = shared_] { run(*s); });
    thread_->setObjectName(QStringLiteral("session writer"));
    thread_->start();
}

SessionWriter::~SessionWriter()
{
    {
        const QMutexLocker lock(&shared_->mutex);
        shared_->stop = true;
        shared_->failed = nullptr; // nobody left to tell
        shared_->wake.wakeAll();
    }
    // A thread held by a dead disk is left to finish on its own (it touches
    // only what it shares with this) rather than hold up the window; any
    // other has written everything and only has to wake.
    if (stuck_)
        return;
    thread_->wait();
    delete thread_;
}

quint64 SessionWriter::open(const QString &stem)
{
    const QMutexLocker lock(&shared_->mutex);
    shared_->stem = stem;
    shared_->syncWanted = true;
    ++shared_->handed;
    shared_->wake.wakeAll();
    return ++shared_->recording;
}

qsizetype SessionWriter::samplesRoom() const
{
    return SamplesCapacity - shared_->queuedSamples.load(std::memory_order_relaxed);
}

qsizetype SessionWriter::eventsRoom() const
{
    return EventsCapacity - shared_->queuedEvents.load(std::memory_order_relaxed);
}

bool SessionWriter::hand(const QByteArray &samples, const QByteArray &events, bool sync)
{
    if (samples.isEmpty() && events.isEmpty() && !sync)
        return true;
    Shared &s = *shared_;
    const QMutexLocker lock(&s.mutex);
    if (s.samples.size() + samples.size() > SamplesCapacity || s.events.size() + events.size() > EventsCapacity)
        return false;
    // Within the room reserved: copies, no allocation.
    s.samples.append(samples);
    s.events.append(events);
    s.queuedSamples.store(s.samples.size(), std::memory_order_relaxed);
    s.queuedEvents.store(s.events.size(), std::memory_order_relaxed);
    s.syncWanted = s.syncWanted || sync;
    ++s.handed;
    s.wake.wakeAll();
    return true;
}

bool SessionWriter::drain(int ms)
{
    Shared &s = *shared_;
    const QDeadlineTimer deadline(ms);
    const QMutexLocker lock(&s.mutex);
    while (s.written != s.handed) {
        if (!s.done.wait(&s.mutex, deadline) && s.written != s.handed) {
            stuck_ = true;
            return false;
        }
    }
    return true;
}

void SessionWriter::run(Shared &s)
{
    // The thread's halves of the pairs, swapped with the shared ones.
    QByteArray samples;
    QByteArray events;
    samples.reserve(SamplesCapacity);
    events.reserve(EventsCapacity);
    quint64 current = 0;
    bool samplesDirty = false;
    bool eventsDirty = false;

    QMutexLocker lock(&s.mutex);
    for (;;) {
        while (!s.stop && s.written == s.handed)
            s.wake.wait(&s.mutex);
        if (s.stop)
            return;
        const quint64 job = s.handed;
        samples.swap(s.samples);
        events.swap(s.events);
        s.queuedSamples.store(0, std::memory_order_relaxed);
        s.queuedEvents.store(0, std::memory_order_relaxed);
        const bool sync = std::exchange(s.syncWanted, false);
        const bool fresh = s.recording != current;
        current = s.recording;
        const bool dead = s.failedRecording == current;
        const QString stem = s.stem;
        lock.unlock();

        if (fresh) {
            // The header went to the page cache; both files' names and the
            // header last through a power cut once this job has synced them.
            samplesDirty = eventsDirty = true;
        }
        FileProblem why = FileProblem::None;
        if (!dead) {
            // Samples first: an event never refers to a sample the file does not hold.
            why = append(stem + QLatin1String(SessionFormat::SamplesSuffix), samples, sync, samplesDirty);
            if (why == FileProblem::None)
                why = append(stem + QLatin1String(SessionFormat::EventsSuffix), events, sync, eventsDirty);
            if (fresh && why == FileProblem::None)
                syncFolder(QFileInfo(stem).absolutePath());
        }
        samples.resize(0); // keeps its room
        events.resize(0);

        lock.relock();
        if (why != FileProblem::None && s.failedRecording != current) {
            s.failedRecording = current;
            if (s.failed)
                s.failed(current, why);
        }
        s.written = job;
        s.done.wakeAll();
    }
}

bool SessionWriter::syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    // EINVAL: a file that cannot be synced (a pipe) holds nothing to lose.
    return ::fsync(file.handle()) == 0 || errno == EINVAL;
#endif
}

// A new file's name lasts through a power cut only once its folder is synced.
void SessionWriter::syncFolder(const QString &folder)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

FileProblem SessionWriter::openProblem(const QString &file)
{
    const QFileInfo info(file);
    if (!QFileInfo(info.absolutePath()).isDir())
        return FileProblem::Gone;
    if (!QFileInfo(info.absolutePath()).isWritable())
        return FileProblem::NoPermission;
    return FileProblem::CannotCreate;
}

// A short write says nothing of why; the room left on the disk does.
FileProblem SessionWriter::writeProblem(const QFile &file, qsizetype wanted)
{
    if (file.error() == QFileDevice::ResourceError || QStorageInfo(file.fileName()).bytesAvailable() < wanted)
        return FileProblem::DiskFull;
    return FileProblem::Other;
}
