#pragma once

#include <cstdint>
#include <deque>
#include <random>

// A radial pulse as the sensor would sample it: three Gaussian waves per beat
// (percussion, tidal, dicrotic), beat-to-beat variation with respiratory sinus
// arrhythmia, breathing that moves baseline and amplitude, and a little noise.
//
// Time comes from the sample index, never from a clock, so the shape does not
// depend on how the samples are paced. No I/O: tests drive it directly.
class PulseModel
{
public:
    struct Config
    {
        double heartRate = 72.0; // beats per minute
        std::uint64_t seed = 1;
        bool variability = true; // false: fixed beat interval, no breathing, no noise
        // From this far into the pulse (model seconds) on, the mean rate is
        // stepHeartRate instead (0: never).
        double stepAfter = 0.0;
        double stepHeartRate = 0.0;
    };

    explicit PulseModel(const Config &config);

    // Model time carries on across a change, only the step per sample changes.
    void setSamplingRate(int hz);
    // Held to the sensor's range (CommandParser::GainSteps, BaselineLevels).
    void setGain(int factor);
    void setBaseline(int level);

    int samplingRate() const { return rateHz_; }
    // Model time of the next sample, in seconds.
    double time() const { return epochTime_ + static_cast<double>(sinceEpoch_) / rateHz_; }

    // The next sample: signal in pulse heights (foot 0, peak 1 without breathing),
    // or mapped to the byte the sensor sends.
    double nextSignal();
    std::uint8_t nextByte();

    // When the newest beat that has begun by model time t began: the truth a
    // beat detector's intervals are held against.
    double beatStartedBy(double t) const;

    // byte = clamp(round(16 + 24 b + 24 g s), 0, 255)
    static std::uint8_t toByte(double signal, int gain, int baseline);

private:
    struct Beat
    {
        double start;
        double scale; // s_k = sqrt(T0 * RR_k): stretches the waves with the interval
    };

    // Sum of the waves of every beat that reaches t; peak minus foot is 1.
    double pressure(double t);
    void scheduleBeatsUntil(double t);
    void dropBeatsBefore(double t);
    static double breathingPhase(double t);

    Config config_;
    double meanInterval_;
    int rateHz_ = 200;
    int gain_ = 1;
    int baseline_ = 0;
    double epochTime_ = 0.0;
    std::uint64_t sinceEpoch_ = 0;
    std::deque<Beat> beats_;
    // Separate streams so that beat timing does not depend on the sampling rate.
    std::mt19937_64 beatRandom_;
    std::mt19937_64 noiseRandom_;
    std::normal_distribution<double> beatNormal_;
    std::normal_distribution<double> noiseNormal_;
};
