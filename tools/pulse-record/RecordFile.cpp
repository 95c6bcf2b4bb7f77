#include "RecordFile.h"

#include "RecordTexts.h"
#include "acquire/RecordFormat.h"

#include <QFile>
#include <QFileInfo>

bool RecordFile::Loaded::sizeIsRight() const
{
    return fileSize == RecordFormat::Size;
}

QString RecordFile::Loaded::sizeWarning(const QString &path) const
{
    if (!ok() || sizeIsRight())
        return {};
    return fileSize > RecordFormat::Size ? RecordTexts::tooLong(path, fileSize) : RecordTexts::tooShort(path, fileSize);
}

RecordFile::Loaded RecordFile::load(const QString &path)
{
    Loaded loaded;
    auto fail = [&](Problem problem, const QString &message) {
        loaded.problem = problem;
        loaded.message = message;
        return loaded;
    };

    const QFileInfo info(path);
    if (!info.exists())
        return fail(Problem::Missing, RecordTexts::missing(path));
    if (info.isDir())
        return fail(Problem::Folder, RecordTexts::folder(path));
    // A pipe or a device would block the read or never end; records are files.
    if (!info.isFile())
        return fail(Problem::NotAFile, RecordTexts::notAFile(path));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(Problem::Unreadable, RecordTexts::unreadable(path, file.error() == QFileDevice::PermissionsError));
    }
    loaded.fileSize = file.size();
    if (loaded.fileSize == 0)
        return fail(Problem::Empty, RecordTexts::empty(path));
    loaded.samples = file.read(RecordFormat::Size);
    if (file.error() != QFileDevice::NoError || loaded.samples.isEmpty())
        return fail(Problem::Unreadable, RecordTexts::unreadable(path, false));
    return loaded;
}
