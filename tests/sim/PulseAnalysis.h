#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The checks that a stream of sample bytes looks like a radial pulse: peak
// detection for the heart rate, feet and heights of beats, dicrotic notches.
namespace PulseAnalysis {

struct Beat {
    std::size_t foot; // lowest sample since the previous peak
    std::size_t peak;
    double height; // peak minus foot, in counts of the smoothed stream
};

// Moving average over about 20 ms, centred.
std::vector<double> smooth(const std::vector<std::uint8_t> &samples, int rateHz);
// Maxima above half the local (±2 s) range, at least 0.33 s apart.
std::vector<std::size_t> peaks(const std::vector<double> &smoothed, int rateHz);
// 60 / mean peak-to-peak interval; 0 with fewer than two peaks.
double heartRate(const std::vector<std::size_t> &peaks, int rateHz);
// Every peak after the first, with the foot before it.
std::vector<Beat> beats(const std::vector<double> &smoothed, const std::vector<std::size_t> &peaks);
// Within 0.6 of a beat after the peak: a local minimum followed by a rise of
// at least 2 % of the beat's height.
bool hasNotch(const std::vector<double> &smoothed, const Beat &beat, std::size_t beatLength);

double median(std::vector<double> values);

} // namespace PulseAnalysis
