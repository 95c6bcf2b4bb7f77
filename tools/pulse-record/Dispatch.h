#pragma once

#include "CommandLine.h"

// Carries out one parsed command line: picks the command for the kind of
// file named (records or a session recording), refuses what does not fit
// it; returns the exit code (Output::ExitCode).
namespace Dispatch {

int run(const Invocation &invocation);

} // namespace Dispatch
