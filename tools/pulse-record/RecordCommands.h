#pragma once

#include "CommandLine.h"

// Carries out one parsed command line: reads the files, prints or saves the
// results, reports problems; returns the exit code.
namespace RecordCommands {

enum ExitCode { Success = 0, BadInput = 1, Usage = 2 };

int run(const Invocation &invocation);

} // namespace RecordCommands
