#include "RecordWriter.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

static_assert(RecordWriter::FirstEntry + RecordWriter::RecordSize <= Sweep::BufferEntries);

QByteArray RecordWriter::recordBytes(const Sweep::Buffer &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.data()) + FirstEntry, RecordSize);
}

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

bool RecordWriter::save(const QString &path, const Sweep::Buffer &buffer, QString *reason)
{
    QSaveFile file(path);
    // Without this, QSaveFile falls back to writing in place where it cannot
    // make a temporary file, which could leave a half-written record.
    file.setDirectWriteFallback(false);
    const QByteArray bytes = recordBytes(buffer);
    bool ok = QFileInfo(path).isDir() ? false : file.open(QIODevice::WriteOnly);
    // The bytes reach the disk only when the buffer is flushed. This Qt's
    // commit() does not notice a flush that fails (a full disk) and would put
    // a truncated record in place of the old one, so flush and check first.
    if (ok)
        ok = file.write(bytes) == bytes.size() && file.flush();
    if (ok)
        ok = file.commit();
    else
        file.cancelWriting();
    if (!ok && reason)
        *reason = reasonFor(file, path);
    return ok;
}
