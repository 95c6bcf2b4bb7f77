#include "RecordWriter.h"

#include "AtomicFile.h"
#include "RecordFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <cerrno>
#include <filesystem>
#include <system_error>

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

FileProblem renameProblem(const std::error_code &error)
{
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system)
        return FileProblem::NoPermission;
    if (error == std::errc::no_space_on_device)
        return FileProblem::DiskFull;
    return FileProblem::RenameFailed;
}

// Through the wide API on Windows, so that a folder named in any script works.
std::filesystem::path nativePath(const QString &path)
{
    return std::filesystem::path(path.toStdU16String());
}

} // namespace

RecordWriter::Saved RecordWriter::save(const QString &folder, int fileNumber, const Sweep &sweep,
                                       RecordIndex::Entry facts)
{
    Saved saved;
    QLockFile lock(QDir(folder).filePath(LockFileName));
    // A lock the folder cannot take (read-only, full) is no one else's
    // either: the save goes on and fails, or not, for its own reasons.
    if (!lock.tryLock(LockWaitMs) && lock.error() == QLockFile::LockFailedError) {
        saved.problem = FileProblem::FolderBusy;
        return saved;
    }
    const QString name = RecordFormat::fileName(fileNumber);
    const QString path = QDir(folder).absoluteFilePath(name);
    const QByteArray bytes = RecordFormat::bytes(sweep.sampleBuffer());

    // Made only once the new record is safely on disk, so a save that fails
    // for any other reason leaves the earlier file under its own name.
    const auto keepEarlier = [&] {
        const QFileInfo info(path);
        if ((!info.exists() && !info.isSymLink()) || written_.contains(path))
            return true;
        saved.backup = backupName(folder, name);
        std::error_code error;
        std::filesystem::rename(nativePath(path), nativePath(QDir(folder).absoluteFilePath(saved.backup)), error);
        if (error) {
            saved.backupFailed = true;
            saved.problem = renameProblem(error);
            return false;
        }
        return true;
    };
    saved.record = AtomicFile::write(path, bytes, &saved.problem, keepEarlier);
    if (!saved.record)
        return saved;
    written_.insert(path);

    facts.name = name;
    if (!facts.savedAt.isValid())
        facts.savedAt = QDateTime::currentDateTime();
    facts.sampleIndex = sweep.sampleIndex();
    facts.previousSweepEnd = sweep.previousSweepEnd();
    facts.digest = saved.digest = RecordIndex::digest(bytes);
    saved.indexLine = RecordIndex::append(folder, facts, &saved.problem);
    return saved;
}
