#pragma once

#include <QDateTime>
#include <QString>

// The wall clock as every file of the program writes it: ISO 8601 with
// milliseconds and the numeric UTC offset, "+00:00" included, so that every
// line says its zone ("2026-12-08T15:30:00.123+01:00").
namespace WallClock {

// "+01:00", "-05:30", "+00:00".
QString offsetText(int offsetSeconds);
QString text(const QDateTime &time);

} // namespace WallClock
