#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Writes a whole file or nothing: the new bytes go to a temporary file beside
// the target, which replaces the target only once every byte is on disk. A
// failed write leaves whatever had that name as it was.
namespace AtomicFile {

// Runs after the bytes are safely written and before the target is replaced;
// returning false abandons the write (with *reason set by the step).
using BeforeReplace = std::function<bool(QString *reason)>;

// On failure, *reason holds a Simplified Chinese explanation.
bool write(const QString &path, const QByteArray &bytes, QString *reason = nullptr,
           const BeforeReplace &beforeReplace = {});

} // namespace AtomicFile
