#include "RecordFile.h"

#include "RecordTexts.h"
#include "acquire/InputFile.h"
#include "acquire/RecordFormat.h"

#include <QFileInfo>
#include <algorithm>

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
    // A pipe or a device would block the read or never end; records are files.
    const InputFile::Result read = InputFile::read(path, RecordFormat::Size, true);
    switch (read.status) {
    case InputFile::Status::Read:
        break;
    case InputFile::Status::Missing:
        return fail(Problem::Missing, RecordTexts::missing(path));
    case InputFile::Status::NotAFile:
        return info.isDir() ? fail(Problem::Folder, RecordTexts::folder(path))
                            : fail(Problem::NotAFile, RecordTexts::notAFile(path));
    case InputFile::Status::TooLarge:
    case InputFile::Status::Unreadable:
        return fail(Problem::Unreadable, RecordTexts::unreadable(path, read.permission));
    }
    loaded.samples = read.bytes;
    loaded.fileSize = std::max(info.size(), qint64(read.bytes.size()));
    if (loaded.fileSize == 0)
        return fail(Problem::Empty, RecordTexts::empty(path));
    return loaded;
}
