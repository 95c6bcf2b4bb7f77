#include "CommandLine.h"

#include "RecordTexts.h"

#include <cmath>

namespace {

const QString RateOption = QStringLiteral("--rate");
const QString OutputOption = QStringLiteral("-o");
const QString AsStoredOption = QStringLiteral("--as-stored");

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
    bool asStored = false;
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
        if (arg == AsStoredOption) {
            asStored = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> value;
        if (arg.startsWith(RateOption + u'=')) {
            name = RateOption;
            value = arg.mid(RateOption.size() + 1);
        } else if (arg != RateOption && arg != OutputOption) {
            return failure(RecordTexts::unknownOption(arg));
        }
        if (!value) {
            if (i + 1 >= arguments.size())
                return failure(RecordTexts::missingValue(name));
            value = arguments[++i];
        }
        std::optional<QString> &slot = name == RateOption ? rate : output;
        if (slot)
            return failure(RecordTexts::repeatedOption(name));
        slot = value;
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
    else
        return failure(RecordTexts::unknownCommand(command));

    if (positional.isEmpty())
        return failure(RecordTexts::noFile());
    const bool several =
        invocation.command == Invocation::Command::Show || invocation.command == Invocation::Command::Edf;
    if (!several && positional.size() > 1)
        return failure(RecordTexts::oneFileOnly(command));
    invocation.files = positional;
    invocation.asStored = asStored;

    if (rate) {
        bool ok = false;
        const double hz = rate->trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(hz) || hz < MinRateHz || hz > MaxRateHz)
            return failure(RecordTexts::badRate(*rate, MinRateHz, MaxRateHz));
        invocation.rateHz = hz;
    }
    if (output) {
        if (invocation.command != Invocation::Command::Png && invocation.command != Invocation::Command::Edf)
            return failure(RecordTexts::outputOnlyForPng());
        if (output->isEmpty())
            return failure(RecordTexts::missingValue(OutputOption));
        invocation.output = *output;
    }
    return {invocation, {}};
}
