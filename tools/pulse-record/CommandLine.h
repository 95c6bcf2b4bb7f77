#pragma once

#include "link/SensorCommands.h"

#include <QString>
#include <QStringList>
#include <optional>

// What the operator asked for, parsed from the arguments after the program
// name. Options may stand anywhere; "--" ends them.
struct Invocation
{
    enum class Command { Help, Show, Png, Csv, Edf, Sessions };

    // A point of a session recording: seconds from its start ("90", "12.5"),
    // or a clock time in its own UTC offset ("15:31", "15:31:20.5").
    struct TimePoint
    {
        bool clock = false;
        double seconds = 0; // from the start, or since midnight
    };

    Command command = Command::Help;
    QStringList files;
    std::optional<double> rateHz;      // as given; else the index's, else show falls back to DefaultRateHz
    QString output;                    // png and edf; empty means FILE.png or FILE.edf
    bool asStored = false;             // file order instead of time order
    bool force = false;                // png and edf may replace a record, an index, a recording, a pipe
    std::optional<TimePoint> from, to; // png of a session recording
};

class CommandLine
{
public:
    // The sensor's rate after port selection.
    static constexpr double DefaultRateHz = SensorCommands::PowerUpRateHz;
    // The sensor offers 200 to 1000 Hz, but a record may have been paced
    // otherwise (960 per second on a full line), so any sane rate is taken.
    static constexpr int MinRateHz = 1;
    static constexpr int MaxRateHz = 100000;

    struct Result
    {
        std::optional<Invocation> invocation;
        QString error; // one line, when invocation is empty
    };

    static Result parse(const QStringList &arguments);
    static std::optional<Invocation::TimePoint> timePoint(const QString &text);

    // A rate as the operator would write it: "200", "312.5".
    static QString rateText(double hz) { return QString::number(hz, 'g', 12); }
};
