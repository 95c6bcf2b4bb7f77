#pragma once

#include <QByteArray>
#include <QString>

// Reads a file that anyone may have put in its place: only a regular file
// (a pipe would block, a device never end, a symlink loop lead nowhere),
// looked at before it is opened, and never read past a bound, so that memory and
// time follow the file's real size.
namespace InputFile {

enum class Status {
    Read,
    Missing,    // nothing of that name
    NotAFile,   // a folder, pipe, device, socket, or a link that leads nowhere
    TooLarge,   // larger than any real file of its kind
    Unreadable, // no permission, or a read error
};

struct Result
{
    Status status = Status::Missing;
    QByteArray bytes;
    bool permission = false; // Unreadable for want of permission
    bool ok() const { return status == Status::Read; }
};

// What a path holds, from its folder entry alone: nothing is opened.
Status check(const QString &path);

// The whole file, or why not. With `truncate`, a longer file yields its first
// `maxBytes` bytes instead of TooLarge.
Result read(const QString &path, qint64 maxBytes, bool truncate = false);

} // namespace InputFile
