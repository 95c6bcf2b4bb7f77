#include "SessionRecorder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Room an accepted batch may need in the events besides: a gap's line and a
// time point.
constexpr qsizetype BatchEventRoom = 256;

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
    connect(this, &SessionRecorder::writerFailed, this, &SessionRecorder::onWriterFailed, Qt::QueuedConnection);
    writer_ = makeWriter();
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

std::unique_ptr<SessionWriter> SessionRecorder::makeWriter()
{
    // From the writer's thread: the news crosses to this one's, queued.
    return std::make_unique<SessionWriter>(
        [this](quint64 recording, FileProblem why) { emit writerFailed(recording, why); });
}

bool SessionRecorder::begin(const QString &recordsFolder)
{
    end();
    problem_ = FileProblem::None;
    samples_ = 0;
    leftOut_ = 0;
    toldBehind_ = false;
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
            problem_ = SessionWriter::openProblem(samples.fileName());
            return false;
        }
        QFile events(candidate + QLatin1String(SessionFormat::EventsSuffix));
        const bool taken = !events.open(QIODevice::WriteOnly | QIODevice::NewOnly) && events.exists();
        if (!events.isOpen()) {
            samples.remove();
            if (taken)
                continue;
            problem_ = SessionWriter::openProblem(events.fileName());
            return false;
        }
        const QByteArray header =
            SessionFormat::line({0, start, SessionFormat::Kind::Header, {QString::number(SessionFormat::Version)}});
        // Synced by the writer, which waits for the disk in this one's stead.
        if (events.write(header) != header.size()) {
            problem_ = SessionWriter::writeProblem(events, header.size());
            events.remove();
            samples.remove();
            return false;
        }
        recording_ = writer_->open(candidate);
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
    tail_.stop();
    open_ = false;
    if (leftOut_ > 0)
        pendingEvents_ +=
            SessionFormat::line({samples_, wallClock_(), SessionFormat::Kind::Gap, {QString::number(leftOut_)}});
    // The one wait for the disk on this thread: Exit must leave the recording
    // whole. Bounded, so that a dead disk cannot hold Exit for ever; what is
    // not written by then is lost, as in a power cut.
    const QDeadlineTimer deadline(EndWaitMs);
    bool handed = writer_->hand(pendingSamples_, pendingEvents_, true);
    while (!handed && writer_->drain(int(deadline.remainingTime())))
        handed = writer_->hand(pendingSamples_, pendingEvents_, true);
    if (!handed || !writer_->drain(int(deadline.remainingTime())))
        writer_ = makeWriter(); // the old one finishes, or not, on its own
    pendingSamples_.clear();
    pendingEvents_.clear();
}

void SessionRecorder::take(std::span<const std::uint8_t> samples)
{
    if (!open_ || samples.empty())
        return;
    const qsizetype n = qsizetype(samples.size());
    const qint64 now = steadyMs_();
    if (pendingSamples_.size() + n > writer_->samplesRoom() ||
        pendingEvents_.size() + BatchEventRoom > writer_->eventsRoom()) {
        leaveOut(n);
    } else {
        if (leftOut_ > 0) {
            // The gap ends here: the samples before this event and after it did not follow on.
            pendingEvents_ +=
                SessionFormat::line({samples_, wallClock_(), SessionFormat::Kind::Gap, {QString::number(leftOut_)}});
            leftOut_ = 0;
        }
        pendingSamples_.append(reinterpret_cast<const char *>(samples.data()), n);
        samples_ += qint64(n);
        if (now - lastTimePointMs_ >= WriteIntervalMs) {
            // The batch just read: its last sample arrived about now.
            lastTimePointMs_ = now;
            pendingEvents_ += SessionFormat::line({samples_, wallClock_(), SessionFormat::Kind::Time, {}});
        }
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
    const QByteArray line = SessionFormat::line({samples_, wallClock_(), kind, values});
    if (pendingEvents_.size() + line.size() + BatchEventRoom > writer_->eventsRoom()) {
        leaveOut(0); // an event no room is left for: the stall has gone on for hours
        return;
    }
    pendingEvents_ += line;
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
    if (!writer_->hand(pendingSamples_, pendingEvents_, toDisk)) {
        // The writer is behind: what waits is kept, and tried again.
        tail_.start();
        return;
    }
    if (toDisk)
        lastSyncMs_ = lastWriteMs_;
    pendingSamples_.resize(0); // keeps its room for the next second
    pendingEvents_.resize(0);
}

void SessionRecorder::leaveOut(qsizetype samples)
{
    leftOut_ += samples;
    if (toldBehind_)
        return;
    toldBehind_ = true;
    emit fellBehind();
}

void SessionRecorder::onWriterFailed(quint64 number, FileProblem why)
{
    // Also for the last write of a recording that has ended, as long as no
    // other has begun.
    if (number != recording_)
        return;
    open_ = false;
    problem_ = why;
    pendingSamples_.clear();
    pendingEvents_.clear();
    tail_.stop();
    emit failed();
}
