#pragma once

#include "CommandParser.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

// The simulator's command line.
struct SimOptions
{
    enum class Source { Pulse, Ramp, File };

    int portNumber = 1;
    CommandParser::SerialDigits serial = {2, 4, 6, 8};
    double heartRate = 72.0;
    double stepAfter = 0.0;     // seconds of pulse
    double stepHeartRate = 0.0; // 0: no step
    std::uint64_t seed = 1;
    QString logPath;  // every byte received, one time-stamped line per read
    QString sentPath; // every sample byte sent, raw
    Source source = Source::Pulse;
    QString sourceFile;
    bool unpaced = false;
    std::optional<double> unplugAfter; // seconds from plugging in
    std::optional<double> replugAfter; // seconds from unplugging
    int replugs = 1;
    bool byId = false; // COMn points at a stable name that follows the line
    int writeSize = 0; // samples per write; 0: as the pacing falls
    bool variability = true;
    bool streamAtOnce = false;
};

// Handles --help and --version itself (prints and exits 0). Otherwise returns
// the options, or nothing with the reason in *error.
std::optional<SimOptions> parseSimOptions(const QStringList &arguments, QString *error);
