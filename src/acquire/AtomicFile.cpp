#include "AtomicFile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

QString reasonFor(const QSaveFile &file, const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("已有同名的文件夹");
    switch (file.error()) {
    case QFileDevice::PermissionsError:
        return QStringLiteral("没有写入权限");
    case QFileDevice::OpenError:
        return QFileInfo(info.absolutePath()).isWritable() ? QStringLiteral("无法创建文件")
                                                           : QStringLiteral("没有写入权限");
    case QFileDevice::WriteError:
    case QFileDevice::ResizeError:
        return QStringLiteral("写入失败，磁盘可能已满");
    case QFileDevice::RenameError:
        return QStringLiteral("无法替换原有文件");
    default:
        return QStringLiteral("写入失败");
    }
}

} // namespace

bool AtomicFile::write(const QString &path, const QByteArray &bytes, QString *reason,
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
    QString stepReason;
    bool stepFailed = false;
    if (ok && beforeReplace) {
        ok = beforeReplace(&stepReason);
        stepFailed = !ok;
    }
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok && reason)
        *reason = stepFailed ? stepReason : reasonFor(file, path);
    return ok;
}
