#pragma once

#include <QString>

class QImage;

// What every command shares: the exit codes, and the rules for a named output.
namespace Output {

enum ExitCode { Success = 0, BadInput = 1, Usage = 2 };

// Whether `output` may be written: nothing there, or a regular file that is
// not a record, a backup, an index or a recording's file (those with
// `force`: else Usage); never a folder or a device (BadInput: it cannot be
// written). Says why not; Success when it may.
int check(const QString &output, bool force);

// Saves a picture as PNG, whole or not at all, and says which; BadInput when it could not.
int savePicture(const QImage &image, const QString &output);

} // namespace Output
