#include "SessionLog.h"

#include <QDir>

SessionLog::SessionLog(QObject *parent)
    : QObject(parent)
{
    // Queued: not from inside the write that failed, which may be the serial
    // line's, and a warning box is modal.
    connect(&recorder_, &SessionRecorder::failed, this, &SessionLog::onFailed, Qt::QueuedConnection);
    connect(
        &recorder_, &SessionRecorder::fellBehind, this, [this] { tell(SessionNotice::Kind::RecordingBehind); },
        Qt::QueuedConnection);
}

void SessionLog::startRun()
{
    warned_ = false;
    if (recorder_.recording())
        return;
    markers_ = 0;
    if (!recorder_.begin(QDir::currentPath()))
        QMetaObject::invokeMethod(this, &SessionLog::onFailed, Qt::QueuedConnection);
}

int SessionLog::mark()
{
    ++markers_;
    recorder_.note(SessionFormat::Kind::Marker, {QString::number(markers_)});
    return markers_;
}

QString SessionLog::folder()
{
    return QDir::toNativeSeparators(QDir::current().absoluteFilePath(QString::fromLatin1(SessionFormat::FolderName)));
}

void SessionLog::tell(SessionNotice::Kind kind)
{
    SessionNotice n;
    n.kind = kind;
    n.record = folder();
    n.save.problem = recorder_.problem();
    emit notice(n);
}

void SessionLog::onFailed()
{
    if (warned_)
        return;
    warned_ = true;
    tell(SessionNotice::Kind::RecordingFailed);
}
