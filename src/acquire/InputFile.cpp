#include "InputFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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
#ifdef Q_OS_UNIX
    // The entry may change between the look and the open: open without
    // waiting and look again at what was opened.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st
    { };
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result.permission = fd < 0 && errno == EACCES;
        result.status = fd < 0 ? Status::Unreadable : Status::NotAFile;
        if (fd >= 0)
            ::close(fd);
        return result;
    }
    const bool opened = file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
#else
    const bool opened = file.open(QIODevice::ReadOnly);
    result.permission = !opened && file.error() == QFileDevice::PermissionsError;
#endif
    if (!opened) {
        result.status = Status::Unreadable;
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
