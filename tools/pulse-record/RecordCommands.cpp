#include "RecordCommands.h"

#include "Console.h"
#include "Output.h"
#include "PulseRate.h"
#include "RecordCsv.h"
#include "RecordEdf.h"
#include "RecordFile.h"
#include "RecordPicture.h"
#include "RecordSeries.h"
#include "RecordStats.h"
#include "RecordTexts.h"
#include "SessionCommands.h"
#include "acquire/AtomicFile.h"
#include "recording/SessionReader.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace RecordCommands {

using namespace Output;

namespace {

// A record with what its index says about it, in the order asked for.
struct Opened
{
    RecordFile::Loaded loaded;
    std::optional<RecordIndex::Entry> facts;
    RecordSeries series;
    std::optional<double> rateHz; // --rate, else the index's
};

// Loads a file and its index line and reports what is wrong with either.
// Returns false when there is nothing to use; `exitCode` turns to BadInput
// for any problem, even where the file is still used (a wrong length, an
// index that does not describe it).
bool open(const QString &path, const Invocation &invocation, Opened &o, int &exitCode)
{
    o.loaded = RecordFile::load(path);
    if (!o.loaded.ok()) {
        Console::message(o.loaded.message);
        exitCode = BadInput;
        return false;
    }
    if (!o.loaded.sizeIsRight()) {
        Console::message(o.loaded.sizeWarning(path));
        exitCode = BadInput;
    }
    const RecordIndex::Found found = RecordIndex::find(path, o.loaded.samples);
    switch (found.status) {
    case RecordIndex::Lookup::NoIndex:
        break;
    case RecordIndex::Lookup::Found:
        o.facts = found.entry;
        break;
    case RecordIndex::Lookup::NoLine:
        Console::message(RecordTexts::noIndexLine(path, found.indexPath));
        exitCode = BadInput;
        break;
    case RecordIndex::Lookup::Malformed:
        Console::message(RecordTexts::badIndexLine(found.indexPath, found.lineNumber));
        exitCode = BadInput;
        break;
    case RecordIndex::Lookup::Unreadable:
        Console::message(RecordTexts::indexUnreadable(found.indexPath));
        exitCode = BadInput;
        break;
    case RecordIndex::Lookup::NotAFile:
        Console::message(RecordTexts::indexNotAFile(found.indexPath));
        exitCode = BadInput;
        break;
    case RecordIndex::Lookup::TooLarge:
        Console::message(RecordTexts::indexTooLarge(found.indexPath));
        exitCode = BadInput;
        break;
    }
    o.series = o.facts && !invocation.asStored
        ? RecordSeries::timeOrdered(o.loaded.view(),
                                    RecordFormat::layout(o.facts->sampleIndex, o.facts->previousSweepEnd))
        : RecordSeries::asStored(o.loaded.view());
    o.rateHz = invocation.rateHz;
    if (!o.rateHz && o.facts)
        o.rateHz = o.facts->rateHz;
    return true;
}

// The output must not be one of the records.
bool isARecord(const QString &output, const QStringList &records)
{
    const QFileInfo target(output);
    if (!target.exists())
        return false;
    for (const QString &path : records) {
        if (target.canonicalFilePath() == QFileInfo(path).canonicalFilePath()) {
            Console::message(RecordTexts::sameAsRecord(path));
            return true;
        }
    }
    return false;
}

} // namespace

int show(const Invocation &invocation)
{
    int exitCode = Success;
    bool first = true;
    for (const QString &path : invocation.files) {
        if (SessionReader::isRecording(path)) {
            first = !SessionCommands::show(path, !first, exitCode) && first;
            continue;
        }
        Opened o;
        if (!open(path, invocation, o, exitCode))
            continue;
        if (!first)
            Console::out({});
        first = false;
        const double rate = o.rateHz.value_or(CommandLine::DefaultRateHz);
        const QString hz = CommandLine::rateText(rate);
        const std::vector<std::uint8_t> held = o.series.held();
        const RecordStats stats = RecordStats::of(held);
        const PulseRate::Estimate pulse = PulseRate::estimate(o.series.values, rate);
        Console::out(RecordTexts::sizeLine(path, o.loaded.fileSize, o.loaded.sizeIsRight()));
        if (o.facts)
            Console::out(RecordTexts::factsLine(*o.facts));
        Console::out(RecordTexts::orderLine(o.series, o.facts && !invocation.asStored, o.facts.has_value()));
        Console::out(RecordTexts::valuesLine(stats.minimum, stats.maximum, stats.mean));
        Console::out(pulse.found ? RecordTexts::rateLine(pulse.beatsPerMinute, pulse.intervals, hz)
                                 : RecordTexts::noPulseLine(hz));
    }
    return exitCode;
}

int png(const Invocation &invocation)
{
    const QString &path = invocation.files.first();
    const QString output = invocation.output.isEmpty() ? path + QStringLiteral(".png") : invocation.output;
    if (isARecord(output, invocation.files))
        return Usage;
    if (const int refused = Output::check(output, invocation.force))
        return refused;

    int exitCode = Success;
    Opened o;
    // A picture of a record with something wrong would look like a good one.
    if (!open(path, invocation, o, exitCode) || exitCode != Success)
        return exitCode;
    const QString title = o.rateHz ? RecordTexts::pictureTitleWithRate(path, CommandLine::rateText(*o.rateHz))
                                   : RecordTexts::pictureTitle(path);
    const QImage image = RecordPicture::render(o.series.values, title, o.rateHz, o.series.gapAt);
    const int saved = Output::savePicture(image, output);
    return saved == Success ? exitCode : saved;
}

int csv(const Invocation &invocation)
{
    int exitCode = Success;
    Opened o;
    if (!open(invocation.files.first(), invocation, o, exitCode))
        return exitCode;
    Console::raw(RecordCsv::format(o.series, o.loaded.view(), o.rateHz));
    return exitCode;
}

int edf(const Invocation &invocation)
{
    const QString output =
        invocation.output.isEmpty() ? invocation.files.first() + QStringLiteral(".edf") : invocation.output;
    if (isARecord(output, invocation.files))
        return Usage;
    if (const int refused = Output::check(output, invocation.force))
        return refused;

    int exitCode = Success;
    std::vector<RecordEdf::Part> parts;
    std::optional<double> rate = invocation.rateHz;
    for (const QString &path : invocation.files) {
        Opened o;
        if (!open(path, invocation, o, exitCode))
            continue;
        if (!invocation.rateHz && !o.facts) {
            Console::message(RecordTexts::edfNeedsRate(path));
            exitCode = Usage;
        } else if (!invocation.rateHz && rate && *rate != *o.rateHz) {
            Console::message(
                RecordTexts::edfRatesDiffer(path, CommandLine::rateText(*o.rateHz), CommandLine::rateText(*rate)));
            exitCode = BadInput;
        }
        rate = o.rateHz;
        parts.push_back({QFileInfo(path).fileName(), o.series, o.facts});
    }
    // One bad record spoils the file: nothing is written.
    if (exitCode != Success)
        return exitCode;

    // EDFlib writes in place; it writes into a private folder, and the output
    // appears whole or not at all.
    QString error;
    QTemporaryDir scratch;
    const QString draft = scratch.filePath(QStringLiteral("draft.edf"));
    if (!scratch.isValid() || !RecordEdf::write(draft, parts, *rate, &error)) {
        Console::message(error.isEmpty() ? RecordTexts::edfNotWritten(output) : error);
        return BadInput;
    }
    QFile written(draft);
    FileProblem problem = FileProblem::Other;
    if (!written.open(QIODevice::ReadOnly) || !AtomicFile::write(output, written.readAll(), &problem)) {
        Console::message(RecordTexts::edfNotSaved(output, problem));
        return BadInput;
    }
    if (!parts.front().facts)
        Console::message(RecordTexts::EdfStartUnknown);
    Console::out(RecordTexts::edfSaved(output, int(parts.size())));
    return exitCode;
}

} // namespace RecordCommands
