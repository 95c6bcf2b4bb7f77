#include "WallClock.h"

#include <cstdlib>

QString WallClock::offsetText(int offsetSeconds)
{
    const int minutes = std::abs(offsetSeconds) / 60;
    return (offsetSeconds < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
        QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString WallClock::text(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + offsetText(time.offsetFromUtc());
}
