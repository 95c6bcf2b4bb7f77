#pragma once

// Counters for the benchmark build (PULSE_PROBE_BUILD defined): samples taken, the
// largest delay from bytes arriving to their segments being painted, and the
// time of the first paint. Compiled out of the normal program.
#ifdef PULSE_PROBE_BUILD

#include <QtGlobal>

namespace Probe {
void bytesArrived();
void samplesTaken(qint64 count);
void tracePainted();
void windowPainted();
} // namespace Probe

#define PULSE_PROBE(call) Probe::call
#else
#define PULSE_PROBE(call) \
    do {                  \
    } while (false)
#endif
