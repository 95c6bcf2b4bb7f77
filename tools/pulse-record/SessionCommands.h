#pragma once

#include "CommandLine.h"

// The commands on session recordings; each returns its exit code (Output::ExitCode).
namespace SessionCommands {

int list(const QString &folder);
// Prints one recording, after a blank line if `separate`; returns false
// when there is nothing to show.
bool show(const QString &path, bool separate, int &exitCode);
int png(const Invocation &invocation);
int csv(const Invocation &invocation);
int edf(const Invocation &invocation);

} // namespace SessionCommands
