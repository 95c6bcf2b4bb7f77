// Feeds one stream of sensor bytes through the two paths that find beats, for
// bench/real_pulse.py, which makes the bytes from real recordings and scores
// what comes out:
//
//   the live path: PulseMeter, handed the bytes in the bursts the serial line
//     delivers (every 15 ms) and read once a second, as the window does;
//   pulse-record: PulseRate::beats over the whole stream, as its EDF+ export
//     and a session's rate take it.
//
//   real-pulse-feed RATE_HZ < bytes
//
// Prints one line per event, sample numbers counted from the first byte:
//   live SAMPLE INTERVAL a beat the meter counted, at its peak, and the samples
//                        since the one before (0: none, the chain broke)
//   reading SAMPLE BPM CLIP   a reading taken after SAMPLE bytes (BPM 0: dashes;
//                        CLIP 0 none, 1 too high, 2 too low)
//   record SAMPLE        a beat pulse-record found
//   window FIRST END BPM pulse-record's rate over one of a session's pulse
//                        windows (BPM 0: none)

#include "PulseRate.h"
#include "SessionExport.h"
#include "acquire/PulseMeter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>
#include <vector>

int main(int argc, char **argv)
{
    const int rateHz = argc > 1 ? std::atoi(argv[1]) : 0;
    if (rateHz <= 0) {
        std::fprintf(stderr, "usage: real-pulse-feed RATE_HZ < bytes\n");
        return 2;
    }
    std::vector<std::uint8_t> bytes;
    for (int c; (c = std::getchar()) != EOF;)
        bytes.push_back(std::uint8_t(c));

    // The line carries at most 960 bytes a second: at 1000 Hz a reading
    // comes every 960 samples.
    const std::size_t perReading = std::size_t(std::min(rateHz, 960));
    const std::size_t perBurst = std::max<std::size_t>(1, perReading * 15 / 1000);
    PulseMeter meter(rateHz);
    long long lastBeat = -1;
    std::size_t sinceReading = 0;
    for (std::size_t at = 0; at < bytes.size(); at += perBurst) {
        const std::size_t n = std::min(perBurst, bytes.size() - at);
        // The meter takes a burst byte by byte; handing it one at a time
        // changes nothing but lets every beat be seen.
        for (std::size_t i = at; i < at + n; ++i) {
            meter.take(std::span(bytes).subspan(i, 1));
            if (meter.detector().beatAt() != lastBeat) {
                lastBeat = meter.detector().beatAt();
                std::printf("live %lld %lld\n", lastBeat, meter.detector().interval());
            }
        }
        sinceReading += n;
        if (sinceReading >= perReading) {
            sinceReading -= perReading;
            const PulseMeter::Reading r = meter.read();
            std::printf("reading %zu %d %d\n", at + n, r.perMinute, int(r.clipping));
        }
    }
    for (int beat : PulseRate::beats(bytes, rateHz))
        std::printf("record %d\n", beat);
    const std::size_t window = std::size_t(SessionExport::PulseWindowSeconds * rateHz);
    for (std::size_t at = 0; at + window <= bytes.size(); at += window) {
        const PulseRate::Estimate e = PulseRate::estimate(std::span(bytes).subspan(at, window), rateHz);
        std::printf("window %zu %zu %.2f\n", at, at + window, e.found ? e.beatsPerMinute : 0.0);
    }
    return 0;
}
