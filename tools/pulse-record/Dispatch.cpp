#include "Dispatch.h"

#include "Console.h"
#include "Output.h"
#include "RecordCommands.h"
#include "RecordTexts.h"
#include "SessionCommands.h"
#include "recording/SessionReader.h"

#include <optional>

using namespace Output;

namespace {

// Carries out png, csv and edf on a session recording, and refuses what
// does not fit one: --rate and --as-stored with a session, --from and --to
// with a record file, edf joining a session with anything. Nothing when the
// command is the record files' own (show takes both kinds itself).
std::optional<int> sessionCommand(const Invocation &invocation)
{
    bool records = false;
    bool sessions = false;
    for (const QString &path : invocation.files) {
        const bool session = SessionReader::isRecording(path);
        if (session && (invocation.rateHz || invocation.asStored)) {
            Console::message(RecordTexts::notForSessions(path));
            return Usage;
        }
        (session ? sessions : records) = true;
    }
    if (records && (invocation.from || invocation.to)) {
        Console::message(RecordTexts::fromToOnlyForPng());
        return Usage;
    }
    if (invocation.command == Invocation::Command::Edf && sessions && invocation.files.size() > 1) {
        Console::message(RecordTexts::oneSessionOnly());
        return Usage;
    }
    if (sessions && invocation.command == Invocation::Command::Png)
        return SessionCommands::png(invocation);
    if (sessions && invocation.command == Invocation::Command::Csv)
        return SessionCommands::csv(invocation);
    if (sessions && invocation.command == Invocation::Command::Edf)
        return SessionCommands::edf(invocation);
    return std::nullopt;
}

} // namespace

int Dispatch::run(const Invocation &invocation)
{
    if (invocation.command != Invocation::Command::Help && invocation.command != Invocation::Command::Sessions) {
        if (const std::optional<int> done = sessionCommand(invocation))
            return *done;
    }
    switch (invocation.command) {
    case Invocation::Command::Help:
        Console::raw(RecordTexts::Help.toUtf8());
        return Success;
    case Invocation::Command::Show:
        return RecordCommands::show(invocation);
    case Invocation::Command::Png:
        return RecordCommands::png(invocation);
    case Invocation::Command::Csv:
        return RecordCommands::csv(invocation);
    case Invocation::Command::Edf:
        return RecordCommands::edf(invocation);
    case Invocation::Command::Sessions:
        return SessionCommands::list(invocation.files.first());
    }
    return Usage;
}
