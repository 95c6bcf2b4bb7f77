#pragma once

// Why a file could not be written or read, for the caller to put into words.
enum class FileProblem {
    None,
    FolderInTheWay, // a folder has the file's name
    NoPermission,
    CannotCreate,
    DiskFull,
    CannotReplace, // the new file is written, the old one could not be replaced
    Unreadable,    // an existing file (the index) could not be read
    RenameFailed,
    FolderBusy, // another program kept the folder's lock for too long
    Gone,       // the file or its folder was removed or replaced while in use
    Other,
};
