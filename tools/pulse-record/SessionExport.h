#pragma once

#include "PulseRate.h"
#include "recording/SessionReader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// A session recording as numbers: the pulse rate over time, CSV, and EDF+.
namespace SessionExport {

constexpr double PulseWindowSeconds = 10;
// A shorter stretch at the end of a run or a rate is too short for a rate.
constexpr double MinPulseWindowSeconds = 3;

// Samples [first, end) at one rate.
struct Stretch
{
    qint64 first = 0;
    qint64 end = 0;
    double rateHz = 0;
};

// Every stretch of one rate without a break, cut at runs' ends and rate changes.
std::vector<Stretch> steady(const SessionReader &recording);

struct PulseWindow
{
    Stretch samples;
    PulseRate::Estimate estimate;
};
// The pulse rate in windows of PulseWindowSeconds over each steady stretch.
std::vector<PulseWindow> pulse(const SessionReader &recording);

// "sample,time,value,event": one row a sample; events in the last column,
// several at one sample joined by "; ", and a row without a value for events
// after the last sample; handed to `write` a block at a time, until it
// returns false (the output failed). False then.
bool csv(const SessionReader &recording, const std::function<bool(const QByteArray &)> &write);

// The EDF+ files: one for each stretch of one rate, cut only where the rate
// changes; breaks inside a file close up (its time counts samples) and their
// events mark them.
std::vector<Stretch> edfParts(const SessionReader &recording);
// The files' names: `file` first, then FILE-2.edf, FILE-3.edf, ... beside it
// (".edf" dropped from `file` before the number).
QStringList edfNames(const QString &file, int count);
// Writes part `part` of edfParts() at `path`.
bool writeEdf(const SessionReader &recording, const Stretch &part, const QString &path, QString *error);

} // namespace SessionExport
