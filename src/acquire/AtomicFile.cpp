#include "AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

FileProblem problemOf(const QSaveFile &file, const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return FileProblem::FolderInTheWay;
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return FileProblem::NoPermission;
    case QFileDevice::OpenError:
        return QFileInfo(info.absolutePath()).isWritable() ? FileProblem::CannotCreate : FileProblem::NoPermission;
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return FileProblem::DiskFull;
    case QFileDevice::RenameError:
        return FileProblem::CannotReplace;
    default:
        return FileProblem::Other;
    }
}

} // namespace

bool AtomicFile::write(const QString &path, const QByteArray &bytes, FileProblem *problem,
                       const BeforeReplace &beforeReplace)
{
    QSaveFile file(path);
    // Without this, QSaveFile falls back to writing in place where it cannot
    // make a temporary file, which could leave a half-written file.
    file.setDirectWriteFallback(false);
    bool ok = !QFileInfo(path).isDir() && file.open(QIODevice::WriteOnly);
    // The bytes reach the disk only when the buffer is flushed. This Qt's
    // commit() does not notice a flush that fails (a full disk) and would put
    // a truncated file in place of the old one, so flush and check first.
    if (ok)
        ok = file.write(bytes) == bytes.size() && file.flush();
    bool stepFailed = false;
    if (ok && beforeReplace) {
        ok = beforeReplace();
        stepFailed = !ok;
    }
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok && !stepFailed && problem)
        *problem = problemOf(file, path);
    return ok;
}
