// pulse-sensor-sim: a simulated pulse sensor on a pseudo-terminal, for the
// demo and for tests that need a real peer on a real serial line.
#include "PortLink.h"
#include "PseudoTerminal.h"
#include "SampleSource.h"
#include "SensorLoop.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int UsageError = 2;

std::unique_ptr<SampleSource> makeSource(const SimOptions &options, const SensorSettings &settings, QString *error)
{
    switch (options.source) {
    case SimOptions::Source::Ramp:
        return std::make_unique<RampSource>();
    case SimOptions::Source::File: {
        QFile file(options.sourceFile);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = options.sourceFile + QStringLiteral(": ") + file.errorString();
            return nullptr;
        }
        const QByteArray bytes = file.readAll();
        if (bytes.isEmpty()) {
            *error = options.sourceFile + QStringLiteral(": empty");
            return nullptr;
        }
        return std::make_unique<FileSource>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    case SimOptions::Source::Pulse:
        break;
    }
    return std::make_unique<PulseSource>(PulseModel::Config {options.heartRate, options.seed, options.variability,
                                                             options.stepAfter, options.stepHeartRate},
                                         settings);
}

int fail(const QString &message, int code = 1)
{
    std::fprintf(stderr, "pulse-sensor-sim: %s\n", qPrintable(message));
    return code;
}

// A new line whose device name is not `avoid`. The kernel hands out the
// lowest free number, which after an unplug is usually the old one; holding
// that while the next opens makes the line come back under another name.
std::unique_ptr<PseudoTerminal> openLine(const std::string &avoid, std::string *why)
{
    std::vector<std::unique_ptr<PseudoTerminal>> held;
    for (;;) {
        auto line = std::make_unique<PseudoTerminal>();
        if (!line->open(why))
            return nullptr;
        if (avoid.empty() || line->farPath() != avoid)
            return line;
        held.push_back(std::move(line));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // First, so that a stop signal from here on removes the link.
    SensorLoop::installSignalHandlers();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pulse-sensor-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PULSE_VERSION));

    QString error;
    const std::optional<SimOptions> options = parseSimOptions(QCoreApplication::arguments(), &error);
    if (!options)
        return fail(error + QStringLiteral(" (see --help)"), UsageError);

    SensorSettings settings;
    settings.streaming = options->streamAtOnce;
    const std::unique_ptr<SampleSource> source = makeSource(*options, settings, &error);
    if (!source)
        return fail(error, UsageError);

    SensorLoop::Config config;
    config.serial = options->serial;
    config.unpaced = options->unpaced;
    config.writeSize = options->writeSize;
    config.unplugAfter = options->unplugAfter;
    std::unique_ptr<std::FILE, int (*)(std::FILE *)> log(nullptr, &std::fclose);
    if (!options->logPath.isEmpty()) {
        log.reset(std::fopen(QFile::encodeName(options->logPath).constData(), "w"));
        if (!log)
            return fail(options->logPath + QStringLiteral(": cannot write"));
        config.log = log.get();
    }
    if (!options->sentPath.isEmpty()) {
        config.sentFd = ::open(QFile::encodeName(options->sentPath).constData(),
                               O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
        if (config.sentFd < 0)
            return fail(options->sentPath + QStringLiteral(": cannot write"));
    }

    // Without --by-id the COMn entry points at the line and goes with it; with
    // it, COMn points at the stable name for the whole run, and only that
    // follows the line.
    PortLink link(options->portNumber);
    std::optional<PortLink> stable;
    if (options->byId) {
        stable.emplace(PortLink::byIdPath(options->portNumber));
        if (!link.create(stable->path(), &error))
            return fail(error);
    }
    PortLink &entry = stable ? *stable : link;

    std::uint64_t sent = 0;
    int replugsLeft = options->replugAfter ? options->replugs : 0;
    std::string previous;
    SensorLoop::Ending ending = SensorLoop::Ending::Stopped;
    for (;;) {
        std::string why;
        const std::unique_ptr<PseudoTerminal> line = openLine(options->byId ? previous : std::string(), &why);
        if (!line)
            return fail(QString::fromStdString(why));
        if (!entry.create(QString::fromStdString(line->farPath()), &error))
            return fail(error);
        std::printf("ready COM%d %s\n", options->portNumber, line->farPath().c_str());
        std::fflush(stdout);

        // Each time at power-up settings, as a sensor powered through its adapter is.
        SensorLoop loop(*line, *source, settings, config);
        ending = loop.run();
        sent += loop.samplesSent();
        line->close();
        entry.remove();
        if (ending != SensorLoop::Ending::Unplugged)
            break;
        std::fprintf(stderr, "pulse-sensor-sim: unplugged, %llu sample byte(s) unread\n",
                     static_cast<unsigned long long>(loop.unreadAtUnplug()));
        if (replugsLeft == 0)
            break;
        if (!SensorLoop::waitUnlessStopped(*options->replugAfter)) {
            ending = SensorLoop::Ending::Stopped;
            break;
        }
        // The last time back, it stays.
        if (--replugsLeft == 0)
            config.unplugAfter.reset();
        previous = line->farPath();
    }
    link.remove();
    std::printf("sent %llu\n", static_cast<unsigned long long>(sent));
    std::fflush(stdout);
    if (config.sentFd >= 0)
        ::close(config.sentFd);
    return ending == SensorLoop::Ending::Failed ? 1 : 0;
}
