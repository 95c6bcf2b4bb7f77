#pragma once

#include "FileProblem.h"

#include <QByteArray>
#include <QString>
#include <functional>

// Writes a whole file or nothing: the new bytes go to a temporary file beside
// the target, which replaces the target only once every byte is on disk. A
// failed write leaves whatever had that name as it was.
namespace AtomicFile {

// Runs after the bytes are safely written and before the target is replaced;
// returning false abandons the write (the step says why it failed itself).
using BeforeReplace = std::function<bool()>;

// On failure, *problem (if given) says why; a failed step leaves it alone.
bool write(const QString &path, const QByteArray &bytes, FileProblem *problem = nullptr,
           const BeforeReplace &beforeReplace = {});

} // namespace AtomicFile
