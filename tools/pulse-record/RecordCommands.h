#pragma once

#include "CommandLine.h"

// The commands on record files; each returns its exit code (Output::ExitCode).
namespace RecordCommands {

int show(const Invocation &invocation); // records and session recordings
int png(const Invocation &invocation);
int csv(const Invocation &invocation);
int edf(const Invocation &invocation);

} // namespace RecordCommands
