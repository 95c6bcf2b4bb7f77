#pragma once

#include "CommandLine.h"

class QImage;

// Carries out one parsed command line: reads the files, prints or saves the
// results, reports problems; returns the exit code.
namespace RecordCommands {

enum ExitCode { Success = 0, BadInput = 1, Usage = 2 };

int run(const Invocation &invocation);

// Whether `output` may be written: nothing there, or a regular file that is
// not a record, a backup, an index or a recording's file (those with
// `force`: else Usage); never a folder or a device (BadInput: it cannot be
// written). Says why not; Success when it may.
int checkOutput(const QString &output, bool force);

// Saves a picture as PNG, whole or not at all, and says which; BadInput when it could not.
int savePicture(const QImage &image, const QString &output);

} // namespace RecordCommands
