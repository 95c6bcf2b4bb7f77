#include "CommandLine.h"

#include "RecordTexts.h"

#include <QTime>
#include <cmath>

namespace {

const QString RateOption = QStringLiteral("--rate");
const QString OutputOption = QStringLiteral("-o");
const QString AsStoredOption = QStringLiteral("--as-stored");
const QString ForceOption = QStringLiteral("--force");
const QString FromOption = QStringLiteral("--from");
const QString ToOption = QStringLiteral("--to");

CommandLine::Result failure(const QString &error)
{
    return {std::nullopt, error};
}

} // namespace

CommandLine::Result CommandLine::parse(const QStringList &arguments)
{
    // Help answers any command line, however wrong the rest of it is.
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--"))
            break;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help"))
            return {Invocation {}, {}};
    }

    QStringList positional;
    std::optional<QString> rate;
    std::optional<QString> output;
    std::optional<QString> from;
    std::optional<QString> to;
    bool asStored = false;
    bool force = false;
    bool optionsEnded = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        if (optionsEnded || arg == QLatin1String("-") || !arg.startsWith(u'-')) {
            positional << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (arg == AsStoredOption || arg == ForceOption) {
            (arg == ForceOption ? force : asStored) = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> value;
        const qsizetype equals = arg.indexOf(u'=');
        if (equals > 0 && arg.startsWith(QLatin1String("--"))) {
            name = arg.left(equals);
            value = arg.mid(equals + 1);
        }
        std::optional<QString> *slot = name == RateOption ? &rate
            : name == FromOption                          ? &from
            : name == ToOption                            ? &to
            : name == OutputOption && !value              ? &output
                                                          : nullptr;
        if (!slot)
            return failure(RecordTexts::unknownOption(arg));
        if (!value) {
            if (i + 1 >= arguments.size())
                return failure(RecordTexts::missingValue(name));
            value = arguments[++i];
        }
        if (*slot)
            return failure(RecordTexts::repeatedOption(name));
        *slot = value;
    }

    if (positional.isEmpty())
        return failure(RecordTexts::noCommand());
    const QString command = positional.takeFirst();
    Invocation invocation;
    if (command == QLatin1String("show"))
        invocation.command = Invocation::Command::Show;
    else if (command == QLatin1String("png"))
        invocation.command = Invocation::Command::Png;
    else if (command == QLatin1String("csv"))
        invocation.command = Invocation::Command::Csv;
    else if (command == QLatin1String("edf"))
        invocation.command = Invocation::Command::Edf;
    else if (command == QLatin1String("sessions"))
        invocation.command = Invocation::Command::Sessions;
    else
        return failure(RecordTexts::unknownCommand(command));

    if ((from || to) && invocation.command != Invocation::Command::Png)
        return failure(RecordTexts::fromToOnlyForPng());
    for (auto [text, point] : {std::pair(&from, &invocation.from), std::pair(&to, &invocation.to)}) {
        if (*text && !(*point = timePoint(**text)))
            return failure(RecordTexts::badTimePoint(**text));
    }
    if (invocation.command == Invocation::Command::Sessions) {
        if (positional.size() > 1)
            return failure(RecordTexts::oneFolderOnly());
        if (rate || output || asStored || force)
            return failure(RecordTexts::noOptionsForSessions());
        invocation.files = positional.isEmpty() ? QStringList {QStringLiteral(".")} : positional;
        return {invocation, {}};
    }

    if (positional.isEmpty())
        return failure(RecordTexts::noFile());
    const bool several =
        invocation.command == Invocation::Command::Show || invocation.command == Invocation::Command::Edf;
    if (!several && positional.size() > 1)
        return failure(RecordTexts::oneFileOnly(command));
    invocation.files = positional;
    invocation.asStored = asStored;
    const bool writes =
        invocation.command == Invocation::Command::Png || invocation.command == Invocation::Command::Edf;
    if (force && !writes)
        return failure(RecordTexts::forceOnlyForOutput());
    invocation.force = force;

    if (rate) {
        bool ok = false;
        const double hz = rate->trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(hz) || hz < MinRateHz || hz > MaxRateHz)
            return failure(RecordTexts::badRate(*rate, MinRateHz, MaxRateHz));
        invocation.rateHz = hz;
    }
    if (output) {
        if (!writes)
            return failure(RecordTexts::outputOnlyForPng());
        if (output->isEmpty())
            return failure(RecordTexts::missingValue(OutputOption));
        invocation.output = *output;
    }
    return {invocation, {}};
}

std::optional<Invocation::TimePoint> CommandLine::timePoint(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (ok && std::isfinite(seconds) && seconds >= 0)
        return Invocation::TimePoint {false, seconds};
    for (const char *format : {"H:mm", "H:mm:ss", "H:mm:ss.z"}) {
        const QTime t = QTime::fromString(text, QLatin1String(format));
        if (t.isValid())
            return Invocation::TimePoint {true, t.msecsSinceStartOfDay() / 1000.0};
    }
    return std::nullopt;
}
