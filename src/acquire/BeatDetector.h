#pragma once

#include <array>
#include <cstdint>

// Finds the systolic peaks of the pulse, one sample at a time, for the live
// rate and for pulse-record alike.
//
// The samples are smoothed with a 20 ms moving average. A beat begins when the
// smoothed pulse has risen from its lowest point since the last beat by half
// of the last beat's swing (peak minus foot); it ends when the pulse has
// fallen half way back from the highest point since. That point (the middle
// of a flat top) is the systolic peak. A peak sooner than 3/5 of the usual
// beat interval after the last one is no beat. The dicrotic wave rises far
// less than half a swing, so it never begins a beat. Before the first beat,
// and again when the beats have stopped for longer than a beat can last, the
// swing is learnt afresh from the range of what came since.
//
// Beats are reported once they have ended, some tenths of a second after their
// peak. No allocation: a few comparisons per sample.
class BeatDetector
{
public:
    static constexpr double SmoothingSeconds = 0.020;
    static constexpr double RiseShare = 0.5;       // of the reference swing, from the foot
    static constexpr double FallShare = 0.5;       // of the beat's own swing, from its peak
    static constexpr double RefractoryShare = 0.6; // of the usual interval
    // A beat within the refractory period counts only if it overshadows the
    // one before (which was then a dicrotic wave or part of a beat).
    static constexpr double OvershadowShare = 1.5; // of the last swing
    static constexpr double MinIntervalSeconds = 0.2;
    // Longer without a beat, the pulse is lost: the swing is learnt afresh
    // and the next beat has no interval.
    static constexpr double MaxIntervalSeconds = 2.5;
    // A beat that stays up this long is a step of the level, not a beat.
    static constexpr double MaxBeatSeconds = 1.0;
    // Less swing than this is no pulse: at gain 1 a beat is about 24 counts.
    static constexpr double MinSwingCounts = 4.0;
    static constexpr int MaxSmoothingWidth = 64;

    explicit BeatDetector(double rateHz = 200.0);

    // A gap in the stream (or a new rate): everything is forgotten, and the
    // next sample is sample 0.
    void restart(double newRateHz) { *this = BeatDetector(newRateHz); }
    // Start as if beats of this swing, rising from this foot, had come
    // before: on a second pass over a record whose pulse is known, a beat in
    // the first second is not lost while the swing is learnt.
    void prime(double knownSwing, double knownFoot);

    // One sample. True when a beat has ended; its peak is beatAt().
    bool take(std::uint8_t sample);
    // A value that is smoothed already, one per sample position.
    bool takeSmoothed(double level);
    // The end of a record: the last samples are smoothed over what there is,
    // and a peak already past counts. True when that ended a beat.
    bool finish();

    // The last beat's systolic peak, in samples since the restart.
    long long beatAt() const { return beatAt_; }
    // Samples from the beat before to the last one; 0 when the last beat
    // has none (the first after a restart, or after the pulse was lost).
    long long interval() const { return interval_; }
    double swing() const { return swing_; }
    double foot() const { return beatFoot_; }
    double rateHz() const { return rateHz_; }

private:
    bool step(double level);
    bool endBeat();
    void learnAfresh(long long at, double level);

    // Smoothing: the newest `width_` samples.
    std::array<std::uint8_t, MaxSmoothingWidth> window_ {};
    int width_ = 1;
    int filled_ = 0;
    int next_ = 0;
    int sum_ = 0;
    long long taken_ = 0;
    int delay_ = 0; // samples from the window's centre to its newest sample

    double rateHz_ = 200.0;
    long long minInterval_ = 40;
    long long maxInterval_ = 500;
    long long maxBeat_ = 200;

    long long position_ = -1; // of the last smoothed value
    double previous_ = 0.0;
    bool learning_ = true;
    long long learntFrom_ = 0;
    double rangeLow_ = 0.0; // while learning: all since learntFrom_
    double rangeHigh_ = 0.0;
    double swing_ = 0.0;
    double low_ = 0.0; // lowest since the last beat
    bool haveLow_ = false;
    long long lastPeak_ = -1;
    double usualInterval_ = 0.0;

    bool inBeat_ = false;
    long long beatBegan_ = 0;
    double foot_ = 0.0;
    double peak_ = 0.0;
    long long peakFirst_ = 0;
    long long peakLast_ = 0;
    bool onPeak_ = false;   // still on the highest plateau
    bool peakRose_ = false; // something lower came before it

    long long beatAt_ = -1;
    long long interval_ = 0;
    double beatFoot_ = 0.0;
};
