#include "SessionRecorder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool syncToDisk(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// A new file's name lasts through a power cut only once its folder is synced.
void syncFolder(const QString &folder)
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

// A short write says nothing of why; the room left on the disk does.
FileProblem writeProblem(const QFile &file, qsizetype wanted)
{
    if (file.error() == QFileDevice::ResourceError || QStorageInfo(file.fileName()).bytesAvailable() < wanted)
        return FileProblem::DiskFull;
    return FileProblem::Other;
}

} // namespace

SessionRecorder::SessionRecorder(QObject *parent)
    : QObject(parent)
{
    steady_.start();
    steadyMs_ = [this] { return steady_.elapsed(); };
    wallClock_ = [] { return QDateTime::currentDateTime(); };
    tail_.setSingleShot(true);
    tail_.setInterval(int(WriteIntervalMs));
    connect(&tail_, &QTimer::timeout, this, [this] { write(steadyMs_() - lastSyncMs_ >= SyncIntervalMs); });
}

SessionRecorder::~SessionRecorder()
{
    end();
}

void SessionRecorder::setClock(std::function<qint64()> steadyMs, std::function<QDateTime()> wallClock)
{
    steadyMs_ = std::move(steadyMs);
    wallClock_ = std::move(wallClock);
}

FileProblem SessionRecorder::openProblem(const QString &file) const
{
    const QFileInfo info(file);
    if (!QFileInfo(info.absolutePath()).isDir())
        return FileProblem::Gone;
    if (!QFileInfo(info.absolutePath()).isWritable())
        return FileProblem::NoPermission;
    return FileProblem::CannotCreate;
}

bool SessionRecorder::begin(const QString &recordsFolder)
{
    end();
    problem_ = FileProblem::None;
    samples_ = 0;
    const QString sessions = QDir(recordsFolder).absoluteFilePath(QString::fromLatin1(SessionFormat::FolderName));
    if (!QDir().mkpath(sessions)) {
        problem_ = QFileInfo(recordsFolder).isWritable() ? FileProblem::CannotCreate : FileProblem::NoPermission;
        return false;
    }
    const QDateTime start = wallClock_();
    for (int attempt = 1; attempt <= MaxAttempts; ++attempt) {
        // Claimed by creating it: another copy of the program that starts in
        // the same second takes the next name.
        const QString candidate = sessions + QLatin1Char('/') + SessionFormat::stem(start, attempt);
        QFile samples(candidate + QLatin1String(SessionFormat::SamplesSuffix));
        if (!samples.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (samples.exists())
                continue;
            problem_ = openProblem(samples.fileName());
            return false;
        }
        QFile events(candidate + QLatin1String(SessionFormat::EventsSuffix));
        const bool taken = !events.open(QIODevice::WriteOnly | QIODevice::NewOnly) && events.exists();
        if (!events.isOpen()) {
            samples.remove();
            if (taken)
                continue;
            problem_ = openProblem(events.fileName());
            return false;
        }
        const QByteArray header =
            SessionFormat::line({0, start, SessionFormat::Kind::Header, {QString::number(SessionFormat::Version)}});
        if (events.write(header) != header.size() || !syncToDisk(events) || !syncToDisk(samples)) {
            problem_ = writeProblem(events, header.size());
            events.remove();
            samples.remove();
            return false;
        }
        syncFolder(sessions);
        path_ = candidate;
        open_ = true;
        lastSyncMs_ = steadyMs_();
        // The first batch is written at once, with a time point.
        lastWriteMs_ = lastTimePointMs_ = lastSyncMs_ - WriteIntervalMs;
        return true;
    }
    problem_ = FileProblem::CannotCreate;
    return false;
}

void SessionRecorder::end()
{
    if (!open_)
        return;
    write(true);
    open_ = false;
    pendingSamples_.clear();
    pendingEvents_.clear();
}

void SessionRecorder::take(std::span<const std::uint8_t> samples)
{
    if (!open_ || samples.empty())
        return;
    pendingSamples_.append(reinterpret_cast<const char *>(samples.data()), qsizetype(samples.size()));
    samples_ += qint64(samples.size());
    const qint64 now = steadyMs_();
    if (now - lastTimePointMs_ >= WriteIntervalMs) {
        // The batch just read: its last sample arrived about now.
        lastTimePointMs_ = now;
        pendingEvents_ += SessionFormat::line({samples_, wallClock_(), SessionFormat::Kind::Time, {}});
    }
    if (now - lastWriteMs_ >= WriteIntervalMs || pendingSamples_.size() >= MaxPendingBytes)
        write(now - lastSyncMs_ >= SyncIntervalMs);
    else if (!tail_.isActive())
        tail_.start();
}

void SessionRecorder::note(SessionFormat::Kind kind, const QStringList &values)
{
    if (!open_)
        return;
    pendingEvents_ += SessionFormat::line({samples_, wallClock_(), kind, values});
    if (!tail_.isActive())
        tail_.start();
}

void SessionRecorder::sync()
{
    if (open_)
        write(true);
}

void SessionRecorder::write(bool toDisk)
{
    tail_.stop();
    if (!open_)
        return;
    lastWriteMs_ = steadyMs_();
    if (toDisk)
        lastSyncMs_ = lastWriteMs_;
    // Samples first: an event never refers to a sample the file does not hold.
    if (!append(QLatin1String(SessionFormat::SamplesSuffix), pendingSamples_, toDisk, samplesDirty_))
        return;
    pendingSamples_.resize(0); // keeps its room for the next second
    if (!append(QLatin1String(SessionFormat::EventsSuffix), pendingEvents_, toDisk, eventsDirty_))
        return;
    pendingEvents_.resize(0);
}

bool SessionRecorder::append(const QString &suffix, const QByteArray &bytes, bool toDisk, bool &dirty)
{
    if (bytes.isEmpty() && !(toDisk && dirty))
        return true;
    // Never created here: a file that has gone stays gone, and says so.
    QFile file(path_ + suffix);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::ExistingOnly | QIODevice::Unbuffered)) {
        fail(file.exists() ? openProblem(file.fileName()) : FileProblem::Gone);
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        fail(writeProblem(file, bytes.size()));
        return false;
    }
    dirty = !toDisk;
    if (toDisk && !syncToDisk(file)) {
        fail(FileProblem::Other);
        return false;
    }
    return true;
}

void SessionRecorder::fail(FileProblem why)
{
    open_ = false;
    problem_ = why;
    pendingSamples_.clear();
    pendingEvents_.clear();
    tail_.stop();
    emit failed();
}
