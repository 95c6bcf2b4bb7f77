#include "SimOptions.h"

#include "SensorLoop.h"
#include "link/PortDirectory.h"

#include <QCommandLineParser>
#include <algorithm>

namespace {

constexpr double MinHeartRate = 20.0;
constexpr double MaxHeartRate = 300.0;
constexpr int MaxWriteSize = SensorLoop::MaxWriteSize;
constexpr int FirstPort = PortDirectory::FirstPort;
constexpr int LastPort = PortDirectory::LastPort;

} // namespace

std::optional<SimOptions> parseSimOptions(const QStringList &arguments, QString *error)
{
    QCommandLineParser parser;
    const SensorSettings powerUp;
    parser.setApplicationDescription(
        QStringLiteral("A simulated pulse sensor on a pseudo-terminal, linked as COMn in the program's port folder.\n"
                       "Speaks the sensor's commands; powers up at gain %1x, baseline %2, %3 Hz, not streaming.\n"
                       "Prints \"ready COMn <device>\" once the link exists and \"sent <count>\" when it ends.")
            .arg(powerUp.gain)
            .arg(powerUp.baseline)
            .arg(powerUp.rateHz));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption com(
        QStringLiteral("com"),
        QStringLiteral("Port number n of COMn, %1..%2 (default 1).").arg(FirstPort).arg(LastPort), QStringLiteral("N"),
        QStringLiteral("1"));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("The four-digit serial number to report (default 2468)."),
                                    QStringLiteral("DDDD"), QStringLiteral("2468"));
    const QCommandLineOption heartRate(QStringLiteral("heart-rate"),
                                       QStringLiteral("Mean heart rate per minute (default 72)."),
                                       QStringLiteral("BPM"), QStringLiteral("72"));
    const QCommandLineOption heartRateStep(
        QStringLiteral("heart-rate-step"),
        QStringLiteral("After SECONDS of pulse, the mean heart rate changes to BPM."), QStringLiteral("SECONDS:BPM"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the beat-to-beat variation and the noise (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write every byte received to FILE, one line per read: seconds "
                                                "since start, then the bytes in hex."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption sent(QStringLiteral("sent"),
                                  QStringLiteral("Write every sample byte sent to FILE, raw, as it goes out."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption source(QStringLiteral("source"),
                                    QStringLiteral("Samples to stream: pulse (default), ramp (0..255 counting every "
                                                   "sample sent) or file:PATH (the file's bytes over and over)."),
                                    QStringLiteral("pulse|ramp|file:PATH"), QStringLiteral("pulse"));
    const QCommandLineOption unpaced(QStringLiteral("unpaced"),
                                     QStringLiteral("While streaming, send as fast as the line takes bytes."));
    const QCommandLineOption unplugAfter(QStringLiteral("unplug-after"),
                                         QStringLiteral("Hang up the line and remove the link SECONDS after start "
                                                        "(or after coming back), then exit unless --replug-after."),
                                         QStringLiteral("SECONDS"));
    const QCommandLineOption replugAfter(
        QStringLiteral("replug-after"),
        QStringLiteral("SECONDS after an unplug, come back on the same COMn as a freshly powered sensor on a new "
                       "pseudo-terminal, and print the ready line again."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption replugs(QStringLiteral("replugs"),
                                     QStringLiteral("Come back N times (default 1), each time staying "
                                                    "--unplug-after SECONDS; after the last, until stopped."),
                                     QStringLiteral("N"));
    const QCommandLineOption byId(QStringLiteral("by-id"),
                                  QStringLiteral("Link COMn to a stable name in the folder next to the port folder, "
                                                 "by-id/pulse-sensor-sim-COMn, which points at the line, as "
                                                 "/dev/serial/by-id does: COMn stays while the line is unplugged, "
                                                 "and the line comes back under a different device name."));
    const QCommandLineOption writeSize(QStringLiteral("write-size"),
                                       QStringLiteral("Send exactly N samples per write, at the paced rate."),
                                       QStringLiteral("N"));
    const QCommandLineOption noVariability(QStringLiteral("no-variability"),
                                           QStringLiteral("Fixed beat interval, no breathing, no noise."));
    const QCommandLineOption stream(QStringLiteral("stream"),
                                    QStringLiteral("Stream from the start, without waiting for the start command."));
    parser.addOptions({com, serial, heartRate, heartRateStep, seed, log, sent, source, unpaced, unplugAfter,
                       replugAfter, replugs, byId, writeSize, noVariability, stream});

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return std::nullopt;
    }

    SimOptions options;
    bool ok = false;
    options.portNumber = parser.value(com).toInt(&ok);
    if (!ok || options.portNumber < FirstPort || options.portNumber > LastPort) {
        *error = QStringLiteral("--com takes a number from %1 to %2").arg(FirstPort).arg(LastPort);
        return std::nullopt;
    }
    const QString digits = parser.value(serial);
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); })) {
        *error = QStringLiteral("--serial takes exactly four digits");
        return std::nullopt;
    }
    for (int i = 0; i < 4; ++i)
        options.serial[i] = static_cast<std::uint8_t>(digits[i].digitValue());
    options.heartRate = parser.value(heartRate).toDouble(&ok);
    if (!ok || options.heartRate < MinHeartRate || options.heartRate > MaxHeartRate) {
        *error = QStringLiteral("--heart-rate takes %1 to %2 per minute").arg(MinHeartRate).arg(MaxHeartRate);
        return std::nullopt;
    }
    if (parser.isSet(heartRateStep)) {
        const QStringList parts = parser.value(heartRateStep).split(QLatin1Char(':'));
        bool secondsOk = false;
        options.stepAfter = parts.value(0).toDouble(&secondsOk);
        options.stepHeartRate = parts.value(1).toDouble(&ok);
        if (parts.size() != 2 || !secondsOk || !ok || options.stepAfter < 0 || options.stepHeartRate < MinHeartRate ||
            options.stepHeartRate > MaxHeartRate) {
            *error = QStringLiteral("--heart-rate-step takes SECONDS:BPM, BPM from %1 to %2 per minute")
                         .arg(MinHeartRate)
                         .arg(MaxHeartRate);
            return std::nullopt;
        }
    }
    options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok) {
        *error = QStringLiteral("--seed takes a non-negative whole number");
        return std::nullopt;
    }
    options.logPath = parser.value(log);
    options.sentPath = parser.value(sent);
    const QString sourceText = parser.value(source);
    if (sourceText == QLatin1String("pulse")) {
        options.source = SimOptions::Source::Pulse;
    } else if (sourceText == QLatin1String("ramp")) {
        options.source = SimOptions::Source::Ramp;
    } else if (sourceText.startsWith(QLatin1String("file:")) && sourceText.size() > 5) {
        options.source = SimOptions::Source::File;
        options.sourceFile = sourceText.mid(5);
    } else {
        *error = QStringLiteral("--source takes pulse, ramp or file:PATH");
        return std::nullopt;
    }
    options.unpaced = parser.isSet(unpaced);
    if (parser.isSet(unplugAfter)) {
        const double seconds = parser.value(unplugAfter).toDouble(&ok);
        if (!ok || seconds < 0) {
            *error = QStringLiteral("--unplug-after takes a number of seconds");
            return std::nullopt;
        }
        options.unplugAfter = seconds;
    }
    if (parser.isSet(replugAfter)) {
        const double seconds = parser.value(replugAfter).toDouble(&ok);
        if (!ok || seconds < 0 || !options.unplugAfter) {
            *error = QStringLiteral("--replug-after takes a number of seconds, with --unplug-after");
            return std::nullopt;
        }
        options.replugAfter = seconds;
    }
    if (parser.isSet(replugs)) {
        options.replugs = parser.value(replugs).toInt(&ok);
        if (!ok || options.replugs < 1 || !options.replugAfter) {
            *error = QStringLiteral("--replugs takes a count from 1, with --replug-after");
            return std::nullopt;
        }
    }
    options.byId = parser.isSet(byId);
    if (parser.isSet(writeSize)) {
        options.writeSize = parser.value(writeSize).toInt(&ok);
        if (!ok || options.writeSize < 1 || options.writeSize > MaxWriteSize) {
            *error = QStringLiteral("--write-size takes 1 to %1").arg(MaxWriteSize);
            return std::nullopt;
        }
    }
    options.variability = !parser.isSet(noVariability);
    options.streamAtOnce = parser.isSet(stream);
    return options;
}
