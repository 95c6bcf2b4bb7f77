#include "SessionCommands.h"

#include "Console.h"
#include "Output.h"
#include "RecordTexts.h"
#include "SessionExport.h"
#include "SessionPicture.h"
#include "acquire/AtomicFile.h"
#include "app/SessionEventText.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

using Output::BadInput;
using Output::Success;
using Output::Usage;

namespace SessionCommands {

namespace {

bool load(const QString &path, SessionReader &r)
{
    r = SessionReader::load(path);
    if (!r.ok())
        Console::message(RecordTexts::sessionProblem(path, r));
    return r.ok();
}

double spanMs(const SessionReader &r)
{
    return r.start().isValid() ? double(r.start().msecsTo(r.end())) : 0.0;
}

QString clock(const QDateTime &t)
{
    return t.toString(QStringLiteral("HH:mm:ss"));
}

// When the sample before `end` was over: not the time of sample `end`,
// which may come after a break.
QDateTime endOf(const SessionReader &r, qint64 end)
{
    return end == 0 ? r.start()
                    : r.atOffset(r.msecsOf(end - 1) + 1000 / r.rateAt(end - 1).value_or(CommandLine::DefaultRateHz));
}

// Output beside the recording must not be one of its two files.
bool isTheRecording(const QString &output, const SessionReader &r)
{
    const QFileInfo target(output);
    for (const char *suffix : {SessionFormat::SamplesSuffix, SessionFormat::EventsSuffix}) {
        const QString file = r.stem + QLatin1String(suffix);
        if (target.exists() && target.canonicalFilePath() == QFileInfo(file).canonicalFilePath()) {
            Console::message(RecordTexts::sameAsRecord(file));
            return true;
        }
    }
    return false;
}

// The first sample at or after a point of --from / --to.
qint64 sampleOf(const SessionReader &r, const Invocation::TimePoint &point)
{
    const QDateTime start = r.start();
    const auto startMs = double(start.toMSecsSinceEpoch());
    if (!point.clock)
        return r.sampleAt(startMs + 1000 * point.seconds);
    double ms = startMs - start.time().msecsSinceStartOfDay() + 1000 * point.seconds;
    if (ms < startMs - 1000) // before the start: the next day's
        ms += 86400000.0;
    return r.sampleAt(ms);
}

} // namespace

int list(const QString &folder)
{
    if (!QFileInfo(folder).isDir()) {
        Console::message(RecordTexts::folderMissing(folder));
        return BadInput;
    }
    // The records folder, or its sessions folder itself.
    const QString inside = QDir(folder).filePath(QLatin1String(SessionFormat::FolderName));
    const QDir dir(QFileInfo(inside).isDir() ? QDir::cleanPath(inside) : folder);
    const QStringList names =
        dir.entryList({QLatin1String("*") + QLatin1String(SessionFormat::EventsSuffix)}, QDir::Files, QDir::Name);
    const QString shown = QDir::toNativeSeparators(dir.path());
    if (names.isEmpty()) {
        Console::out(RecordTexts::noSessions(shown));
        return Success;
    }
    Console::out(RecordTexts::sessionsHeading(shown, int(names.size())));
    int exitCode = Success;
    for (const QString &name : names) {
        SessionReader r;
        if (!load(dir.filePath(name), r)) {
            exitCode = BadInput;
            continue;
        }
        Console::out(RecordTexts::sessionLine(
            QFileInfo(r.stem).fileName(),
            RecordTexts::sessionSummary(r.start(), spanMs(r), r.count(), r.markers(), r.ratesUsed())));
    }
    return exitCode;
}

bool show(const QString &path, bool separate, int &exitCode)
{
    SessionReader r;
    if (!load(path, r)) {
        exitCode = BadInput;
        return false;
    }
    if (separate)
        Console::out({});
    Console::out(RecordTexts::sessionTitle(path));
    Console::out(QStringLiteral("  ") +
                 RecordTexts::sessionSummary(r.start(), spanMs(r), r.count(), r.markers(), r.ratesUsed()));
    const auto &runs = r.runs();
    if (runs.size() > 1) {
        double gaps = 0;
        for (size_t i = 1; i < runs.size(); ++i)
            gaps += double(r.events[runs[i - 1].lastEvent].time.msecsTo(r.events[runs[i].firstEvent].time));
        Console::out(RecordTexts::sessionGaps(int(runs.size() - 1), gaps));
    }
    if (r.leftOut > 0)
        Console::out(RecordTexts::sessionLeftOut(r.leftOut));

    Console::out(RecordTexts::EventsHeading);
    const QDateTime start = r.start();
    for (const SessionFormat::Event &e : r.events) {
        const QString text = Texts::sessionEvent(e);
        if (!text.isEmpty())
            Console::out(RecordTexts::eventLine(
                r.atOffset(double(e.time.toMSecsSinceEpoch())).toString(QStringLiteral("HH:mm:ss.zzz")),
                double(start.msecsTo(e.time)) / 1000, e.sample, text));
    }

    Console::out(RecordTexts::pulseHeading(SessionExport::PulseWindowSeconds));
    const auto windows = SessionExport::pulse(r);
    if (windows.empty())
        Console::out(RecordTexts::NoPulseWindows);
    for (const SessionExport::PulseWindow &w : windows)
        Console::out(RecordTexts::pulseWindowLine(clock(r.timeOf(w.samples.first)), clock(endOf(r, w.samples.end)),
                                                  w.estimate.found, w.estimate.beatsPerMinute, w.estimate.intervals,
                                                  CommandLine::rateText(w.samples.rateHz)));
    return true;
}

int png(const Invocation &invocation)
{
    SessionReader r;
    const QString &path = invocation.files.first();
    if (!load(path, r))
        return BadInput;
    const QString output = invocation.output.isEmpty() ? r.stem + QStringLiteral(".png") : invocation.output;
    if (isTheRecording(output, r))
        return Usage;
    if (const int refused = Output::check(output, invocation.force))
        return refused;
    const qint64 from = invocation.from ? sampleOf(r, *invocation.from) : 0;
    const qint64 to = invocation.to ? sampleOf(r, *invocation.to) : r.count();
    if (to <= from) {
        Console::message(RecordTexts::emptySpan());
        return BadInput;
    }
    const double rowSeconds = SessionPicture::rowSeconds((r.msecsOf(to) - r.msecsOf(from)) / 1000);
    const QString title = RecordTexts::sessionPictureTitle(QFileInfo(r.stem).fileName(), clock(r.timeOf(from)),
                                                           clock(endOf(r, to)), rowSeconds);
    const QImage image = SessionPicture::render(r, from, to, title);
    return Output::savePicture(image, output);
}

int csv(const Invocation &invocation)
{
    SessionReader r;
    if (!load(invocation.files.first(), r))
        return BadInput;
    // A failed write is reported once, as the program ends.
    SessionExport::csv(r, [](const QByteArray &block) { return Console::raw(block); });
    return Success;
}

int edf(const Invocation &invocation)
{
    SessionReader r;
    if (!load(invocation.files.first(), r))
        return BadInput;
    const std::vector<SessionExport::Stretch> parts = SessionExport::edfParts(r);
    const QStringList outputs = SessionExport::edfNames(
        invocation.output.isEmpty() ? r.stem + QStringLiteral(".edf") : invocation.output, int(parts.size()));
    for (const QString &output : outputs) {
        if (isTheRecording(output, r))
            return Usage;
        if (const int refused = Output::check(output, invocation.force))
            return refused;
    }
    // Every file is drafted first, so that a failing part leaves no file at all.
    QTemporaryDir scratch;
    for (size_t i = 0; i < parts.size(); ++i) {
        QString error;
        if (!scratch.isValid() || !SessionExport::writeEdf(r, parts[i], scratch.filePath(QString::number(i)), &error)) {
            Console::message(error.isEmpty() ? RecordTexts::edfNotWritten(outputs[qsizetype(i)]) : error);
            return BadInput;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
        QFile written(scratch.filePath(QString::number(i)));
        FileProblem problem = FileProblem::Other;
        if (!written.open(QIODevice::ReadOnly) ||
            !AtomicFile::write(outputs[qsizetype(i)], written.readAll(), &problem)) {
            Console::message(RecordTexts::edfNotSaved(outputs[qsizetype(i)], problem));
            // One export or none: the parts already saved go again.
            for (size_t k = 0; k < i; ++k)
                QFile::remove(outputs[qsizetype(k)]);
            return BadInput;
        }
    }
    for (size_t i = 0; i < parts.size(); ++i)
        Console::out(RecordTexts::sessionEdfSaved(outputs[qsizetype(i)], CommandLine::rateText(parts[i].rateHz),
                                                  parts[i].end - parts[i].first));
    return Success;
}

} // namespace SessionCommands
