#pragma once

// Counters for the benchmark build (PULSE_PROBE_BUILD defined): samples taken,
// the largest delay from bytes reaching the program to their segments being
// painted, and the time of the first paint. Compiled out of the normal program.
#ifdef PULSE_PROBE_BUILD

#include <QtGlobal>

namespace Probe {
// The line woke the program: new bytes are here.
void lineWoke();
// Bytes were taken from the driver; they arrived after the previous wake.
void bytesCollected();
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
