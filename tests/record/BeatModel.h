#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

// The simulated sensor's waveform, reduced to what a heart-rate test needs:
// three Gaussian waves per beat (percussion, tidal, dicrotic), steady rate,
// no breathing or noise, turned into bytes by gain and baseline.
namespace BeatModel {

struct Wave {
    double amplitude, mu, sigma;
};
inline constexpr Wave Waves[] = { { 1.00, 0.133, 0.046 }, { 0.55, 0.250, 0.054 }, { 0.30, 0.400, 0.046 } };
inline constexpr double T0 = 0.833;
inline constexpr double PeakToFoot = 1.07;

inline double pressure(double t, double beatSeconds)
{
    const double s = std::sqrt(T0 * beatSeconds);
    const long k0 = long(std::floor(t / beatSeconds));
    double p = 0.0;
    for (long k = k0 - 3; k <= k0 + 1; ++k) {
        for (const Wave &w : Waves) {
            const double d = t - k * beatSeconds - w.mu * s;
            p += w.amplitude * std::exp(-d * d / (2 * (w.sigma * s) * (w.sigma * s)));
        }
    }
    return p / PeakToFoot;
}

// `count` samples at `rateHz` of a pulse at `perMinute`, starting `startSeconds` into it.
inline std::vector<std::uint8_t> samples(
    double perMinute, double rateHz, int count, int gain = 4, int baseline = 0, double startSeconds = 0.0)
{
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i) {
        const double p = pressure(startSeconds + i / rateHz, 60.0 / perMinute);
        out.push_back(std::uint8_t(std::clamp(std::lround(16 + 24 * baseline + 24 * gain * p), 0L, 255L)));
    }
    return out;
}

} // namespace BeatModel
