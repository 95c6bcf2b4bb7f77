#include "InputFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

InputFile::Status InputFile::check(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? Status::NotAFile : Status::Missing;
    return info.isFile() ? Status::Read : Status::NotAFile;
}

InputFile::Result InputFile::read(const QString &path, qint64 maxBytes, bool truncate)
{
    Result result;
    result.status = check(path);
    if (result.status != Status::Read)
        return result;
    QFile file(path);
    const bool opened = file.open(QIODevice::ReadOnly);
    result.permission = !opened && file.error() == QFileDevice::PermissionsError;
    if (!opened) {
        result.status = Status::Unreadable;
        return result;
    }
    // What was opened may not be what was looked at: a pipe or a device
    // put there meanwhile reads as a stream without end.
    if (file.isSequential()) {
        result.status = Status::NotAFile;
        return result;
    }
    if (!truncate && file.size() > maxBytes) {
        result.status = Status::TooLarge;
        return result;
    }
    // Read in pieces up to one past the bound: a file that says it is empty
    // may still yield bytes (/proc), and no bound is allocated up front.
    const qint64 limit = truncate ? maxBytes : maxBytes + 1;
    result.bytes.reserve(qsizetype(std::min(file.size(), limit)));
    char piece[1 << 16];
    while (result.bytes.size() < limit) {
        const qint64 got = file.read(piece, std::min<qint64>(sizeof piece, limit - result.bytes.size()));
        if (got <= 0) {
            if (got < 0)
                result.status = Status::Unreadable;
            break;
        }
        result.bytes.append(piece, qsizetype(got));
    }
    if (result.bytes.size() > maxBytes)
        result.status = Status::TooLarge;
    if (!result.ok())
        result.bytes.clear();
    return result;
}
