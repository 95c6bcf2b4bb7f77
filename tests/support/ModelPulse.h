#pragma once

#include "PulseModel.h"

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

// `count` samples of the simulated sensor's pulse, `startSeconds` into it:
// steady (no variation, breathing or noise) unless `config` says otherwise.
// `peaks`, when given, gets where the signal peaks above 0.8 of a beat.
inline std::vector<std::uint8_t> modelPulse(const PulseModel::Config &config, int rateHz, std::size_t count,
                                            int gain = 4, int baseline = 0, double startSeconds = 0.0,
                                            std::vector<long long> *peaks = nullptr)
{
    PulseModel model(config);
    model.setSamplingRate(rateHz);
    for (long i = std::lround(startSeconds * rateHz); i > 0; --i)
        model.nextSignal();
    std::vector<std::uint8_t> out;
    double before = 0.0, last = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const double s = model.nextSignal();
        if (peaks && i > 1 && last > 0.8 && last >= before && last > s)
            peaks->push_back((long long)i - 1);
        before = std::exchange(last, s);
        out.push_back(PulseModel::toByte(s, gain, baseline));
    }
    return out;
}
