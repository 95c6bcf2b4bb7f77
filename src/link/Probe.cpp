#include "Probe.h"

#ifdef PULSE_PROBE_BUILD

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <time.h>

// Written when the program ends, to the file named by PULSE_PROBE_FILE, as
// "key value" lines for the benchmark script.
namespace Probe {
namespace {

struct Counters
{
    qint64 samples = 0;
    qint64 lastWakeNs = -1; // bytes collected after this arrived after it
    qint64 arrivalNs = -1;  // oldest arrival not yet painted
    qint64 maxDelayNs = 0;
    qint64 paints = 0;
    qint64 firstPaintRealtimeNs = 0;
    QElapsedTimer clock;
    bool hooked = false;
};

Counters &counters()
{
    static Counters c;
    if (!c.hooked) {
        c.hooked = true;
        c.clock.start();
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
            const QByteArray path = qgetenv("PULSE_PROBE_FILE");
            QFile out(QString::fromLocal8Bit(path));
            if (path.isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return;
            const Counters &k = counters();
            out.write(QStringLiteral("samples %1\nmax_delay_us %2\ntrace_paints %3\nfirst_paint_realtime_ns %4\n")
                          .arg(k.samples)
                          .arg(k.maxDelayNs / 1000)
                          .arg(k.paints)
                          .arg(k.firstPaintRealtimeNs)
                          .toLatin1());
        });
    }
    return c;
}

} // namespace

void lineWoke()
{
    Counters &c = counters();
    c.lastWakeNs = c.clock.nsecsElapsed();
}

void bytesCollected()
{
    // Conservative: every byte collected now is taken to have arrived right
    // after the previous wake.
    Counters &c = counters();
    const qint64 now = c.clock.nsecsElapsed();
    if (c.arrivalNs < 0)
        c.arrivalNs = c.lastWakeNs >= 0 ? c.lastWakeNs : now;
    c.lastWakeNs = now;
}

void samplesTaken(qint64 count)
{
    counters().samples += count;
}

void tracePainted()
{
    Counters &c = counters();
    ++c.paints;
    if (c.arrivalNs >= 0) {
        c.maxDelayNs = std::max(c.maxDelayNs, c.clock.nsecsElapsed() - c.arrivalNs);
        c.arrivalNs = -1;
    }
}

void windowPainted()
{
    Counters &c = counters();
    if (c.firstPaintRealtimeNs == 0) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        c.firstPaintRealtimeNs = qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    }
}

} // namespace Probe

#endif
