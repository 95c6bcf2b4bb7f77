#include "RecordCommands.h"

#include "Console.h"
#include "PulseRate.h"
#include "RecordCsv.h"
#include "RecordFile.h"
#include "RecordPicture.h"
#include "RecordStats.h"
#include "RecordTexts.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

namespace RecordCommands {

namespace {

// Loads a file and reports what is wrong with it. Returns false when there is
// nothing to use; `exitCode` turns to BadInput for any problem, a wrong
// length included, even though such a file is still used.
bool load(const QString &path, RecordFile::Loaded &loaded, int &exitCode)
{
    loaded = RecordFile::load(path);
    if (!loaded.ok()) {
        Console::message(loaded.message);
        exitCode = BadInput;
        return false;
    }
    if (!loaded.sizeIsRight()) {
        Console::message(loaded.sizeWarning(path));
        exitCode = BadInput;
    }
    return true;
}

int show(const Invocation &invocation)
{
    const double rate = invocation.rateHz.value_or(CommandLine::DefaultRateHz);
    const QString hz = CommandLine::rateText(rate);
    int exitCode = Success;
    bool first = true;
    for (const QString &path : invocation.files) {
        RecordFile::Loaded loaded;
        if (!load(path, loaded, exitCode))
            continue;
        if (!first)
            Console::out({});
        first = false;
        const RecordStats stats = RecordStats::of(loaded.view());
        const PulseRate::Estimate pulse = PulseRate::estimate(loaded.view(), rate);
        Console::out(RecordTexts::sizeLine(path, loaded.fileSize, loaded.sizeIsRight()));
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
    const QFileInfo target(output);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(path).canonicalFilePath()) {
        Console::message(RecordTexts::sameAsRecord(path));
        return Usage;
    }

    int exitCode = Success;
    RecordFile::Loaded loaded;
    if (!load(path, loaded, exitCode))
        return exitCode;
    const QString title = invocation.rateHz
        ? RecordTexts::pictureTitleWithRate(path, CommandLine::rateText(*invocation.rateHz))
        : RecordTexts::pictureTitle(path);
    const QImage image = RecordPicture::render(loaded.view(), title, invocation.rateHz);

    // Written whole or not at all: a failed save leaves an older picture as it was.
    QSaveFile file(output);
    file.setDirectWriteFallback(false);
    // flush() first: commit() in this Qt misses a failing final flush (a full
    // disk) and would keep a truncated picture.
    const bool saved = !target.isDir() && file.open(QIODevice::WriteOnly) && image.save(&file, "PNG")
        && file.flush() && file.commit();
    if (!saved && file.isOpen())
        file.cancelWriting();
    if (!saved) {
        Console::message(RecordTexts::imageNotSaved(output));
        return BadInput;
    }
    Console::out(RecordTexts::imageSaved(output));
    return exitCode;
}

int csv(const Invocation &invocation)
{
    int exitCode = Success;
    RecordFile::Loaded loaded;
    if (!load(invocation.files.first(), loaded, exitCode))
        return exitCode;
    Console::raw(RecordCsv::format(loaded.view(), invocation.rateHz));
    return exitCode;
}

} // namespace

int run(const Invocation &invocation)
{
    switch (invocation.command) {
    case Invocation::Command::Help:
        Console::raw(RecordTexts::Help.toUtf8());
        return Success;
    case Invocation::Command::Show:
        return show(invocation);
    case Invocation::Command::Png:
        return png(invocation);
    case Invocation::Command::Csv:
        return csv(invocation);
    }
    return Usage;
}

} // namespace RecordCommands
