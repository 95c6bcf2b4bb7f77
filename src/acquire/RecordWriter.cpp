#include "RecordWriter.h"

#include "AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdio>

static_assert(RecordWriter::FirstEntry + RecordWriter::RecordSize <= Sweep::BufferEntries);

QByteArray RecordWriter::recordBytes(const Sweep::Buffer &buffer)
{
    return QByteArray(reinterpret_cast<const char *>(buffer.data()) + FirstEntry, RecordSize);
}

QString RecordWriter::backupName(const QString &folder, const QString &name)
{
    const QRegularExpression numbered(QStringLiteral("^%1\\.~([0-9]+)~$").arg(QRegularExpression::escape(name)));
    qint64 highest = 0;
    const auto filters = QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    for (const QString &entry : QDir(folder).entryList({name + QStringLiteral(".~*~")}, filters)) {
        const QRegularExpressionMatch m = numbered.match(entry);
        if (m.hasMatch())
            highest = std::max(highest, m.captured(1).toLongLong());
    }
    return QStringLiteral("%1.~%2~").arg(name).arg(highest + 1);
}

namespace {

QString renameReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("没有写入权限");
    case ENOSPC:
        return QStringLiteral("磁盘已满");
    default:
        return QStringLiteral("改名失败");
    }
}

} // namespace

RecordWriter::Saved RecordWriter::save(const QString &folder, int fileNumber, const Sweep &sweep,
                                       RecordIndex::Entry facts)
{
    Saved saved;
    const QString name = fileName(fileNumber);
    const QString path = QDir(folder).absoluteFilePath(name);
    const QByteArray bytes = recordBytes(sweep.sampleBuffer());

    // Made only once the new record is safely on disk, so a save that fails
    // for any other reason leaves the earlier file under its own name.
    const auto keepEarlier = [&](QString *reason) {
        const QFileInfo info(path);
        if ((!info.exists() && !info.isSymLink()) || written_.contains(path))
            return true;
        const QString backup = backupName(folder, name);
        if (std::rename(QFile::encodeName(path).constData(),
                        QFile::encodeName(QDir(folder).absoluteFilePath(backup)).constData()) != 0) {
            *reason = QStringLiteral("原有文件无法改名为备份“%1”（%2）").arg(backup, renameReason(errno));
            return false;
        }
        saved.backup = backup;
        return true;
    };
    saved.record = AtomicFile::write(path, bytes, &saved.reason, keepEarlier);
    if (!saved.record)
        return saved;
    written_.insert(path);

    facts.name = name;
    if (!facts.savedAt.isValid())
        facts.savedAt = QDateTime::currentDateTime();
    facts.sampleIndex = sweep.sampleIndex();
    facts.previousSweepEnd = sweep.previousSweepEnd();
    facts.digest = RecordIndex::digest(bytes);
    saved.indexLine = RecordIndex::append(folder, facts, &saved.reason);
    return saved;
}
