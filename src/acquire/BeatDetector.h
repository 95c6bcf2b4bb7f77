#pragma once

#include <array>
#include <cstdint>

// Finds the systolic peaks of the pulse, one sample at a time, for the live
// rate and for pulse-record alike.
//
// The samples are smoothed with a 20 ms moving average. What marks a beat is
// its upstroke, the steepest rise of the cycle: the slope sum, the rise of the
// smoothed pulse over the last 128 ms counting only the rising steps, peaks on
// every upstroke and hardly moves on the dicrotic wave or a slow drift of the
// level. A wave whose slope sum passes a share of the typical beat's (the
// median of the last eight) is a beat; its systolic peak is the middle of the
// top the smoothed pulse then reaches, and it ends when the pulse has fallen
// back by half its upstroke.
//
// Nothing here depends on the intervals it found, so it cannot hold itself at
// a multiple of the true one: a beat is refused only if it comes sooner than
// any pulse can (MinIntervalSeconds) or is far too big to be one (motion). A
// beat missed meanwhile is looked for again: when none has come in
// SearchBackShare of the usual interval, the strongest smaller wave since the
// last beat counts. What no pulse makes, a flat stretch, a wave far too big, a
// wave that never falls again, or no beat for longer than a beat can last,
// breaks the chain: the next beat has no interval, and the typical beat is
// learnt afresh if the pulse stays away.
//
// Beats are reported once they have ended, some tenths of a second after their
// peak. No allocation: a few comparisons per sample.
class BeatDetector
{
public:
    static constexpr double SmoothingSeconds = 0.020;
    static constexpr double SlopeSeconds = 0.128;  // about one upstroke
    static constexpr double ThresholdShare = 0.35; // of the typical slope sum
    static constexpr double EarlyShare = 0.6;      // of the usual interval
    static constexpr double EarlyBeatShare = 0.6;  // of the typical slope sum
    static constexpr double SearchBackFloorShare = 0.15;
    static constexpr double SearchBackShare = 1.66; // of the usual interval
    static constexpr double MotionShare = 4.0;      // of the typical slope sum
    static constexpr double FallShare = 0.25;       // of the wave's upstroke, from its peak
    // A new upstroke after a fall of this much of the last one is a beat of
    // its own, though the pulse had not fallen back by FallShare.
    static constexpr double SplitShare = 0.15;
    // No pulse is faster than 240 a minute; a pause of 2.5 s (a dropped
    // beat at 48 a minute) is still one interval, longer is a lost pulse.
    static constexpr double MinIntervalSeconds = 0.25;
    static constexpr double MaxIntervalSeconds = 2.5;
    // A beat that stays up this long is a step of the level, not a beat.
    static constexpr double MaxBeatSeconds = 1.0;
    // The same byte this long: the sensor is off the skin or the line stalls.
    static constexpr double FlatSeconds = 0.5;
    // Less rise than this is no pulse: at gain 1 a beat is about 24 counts,
    // a count or two of noise sums to about 3 to 5.
    static constexpr double MinRiseCounts = 6.0;
    static constexpr int TypicalBeats = 8;
    static constexpr double DefaultRateHz = 200.0;
    static constexpr int MaxRateHz = 1000;
    static constexpr int MaxSmoothingWidth = int(SmoothingSeconds * MaxRateHz) + 1;
    static constexpr int MaxSlopeWidth = int(SlopeSeconds * MaxRateHz) + 1;

    explicit BeatDetector(double rateHz = DefaultRateHz);

    // A gap in the stream (or a new rate): everything is forgotten, and the
    // next sample is sample 0.
    void restart(double newRateHz) { *this = BeatDetector(newRateHz); }
    // Start as if beats of this strength, rising from this foot, had come
    // before: on a second pass over a record whose pulse is known, a beat in
    // the first second is not lost while the typical beat is learnt, nor one
    // the record began on the way up.
    void prime(double typicalStrength, double typicalFoot);

    // One sample. True when a beat has ended; its peak is beatAt().
    bool take(std::uint8_t sample);
    // The end of a record: the last samples are smoothed over what there is,
    // and a peak already past counts. True when that ended a beat.
    bool finish();

    // The last beat's systolic peak, in samples since the restart.
    long long beatAt() const { return beatAt_; }
    // Samples from the beat before to the last one; 0 when the chain was
    // broken between them (the first beat, a flat stretch, motion, no beat
    // for longer than a pulse allows).
    long long interval() const { return interval_; }
    // The last beat's slope sum, in counts, and the level it rose from.
    double strength() const { return beatStrength_; }
    double foot() const { return beatFoot_; }
    // No beat for longer than a pulse allows, or something no pulse makes,
    // since the last beat.
    bool broken() const { return lastPeak_ < 0; }
    double rateHz() const { return rateHz_; }

private:
    struct Wave
    {
        long long peak = -1; // the top's middle
        double strength = 0.0;
    };

    bool step(double level, bool flat);
    void beginWave(long long at, double footLevel, double level, bool rising);
    bool endWave();
    void accept(const Wave &wave);
    void breakChain();
    void learnTypical();
    long long usualInterval() const;

    // Smoothing: the newest `width_` samples.
    std::array<std::uint8_t, MaxSmoothingWidth> window_ {};
    int width_ = 1;
    int filled_ = 0;
    int next_ = 0;
    int sum_ = 0;
    long long taken_ = 0;
    int delay_ = 0; // samples from the window's centre to its newest sample
    std::uint8_t lastSample_ = 0;
    long long sameFor_ = 0;

    // The slope sum: the rising steps of the newest `slopeWidth_` levels.
    std::array<double, MaxSlopeWidth> rises_ {};
    int slopeWidth_ = 1;
    int nextRise_ = 0;
    double slopeSum_ = 0.0;

    double rateHz_ = DefaultRateHz;
    long long minInterval_ = 50;
    long long maxInterval_ = 400;
    long long maxBeat_ = 200;
    long long flatSamples_ = 100;

    long long position_ = -1; // of the last smoothed value
    double previous_ = 0.0;
    bool risingSinceStart_ = true;
    double low_ = 0.0; // lowest since the last wave
    bool haveLow_ = false;

    // The wave in progress: from its slope sum's crossing of the floor.
    bool inWave_ = false;
    long long waveBegan_ = 0;
    double foot_ = 0.0;
    double peak_ = 0.0;
    long long peakFirst_ = 0;
    long long peakLast_ = 0;
    bool onPeak_ = false;
    bool peakRose_ = false;
    bool cutByStart_ = false; // under way when the stream began: its upstroke not all seen
    double waveStrength_ = 0.0;
    double lowSincePeak_ = 0.0;
    bool upstrokeOver_ = false; // its slope sum was below a beat's since its top

    bool bigWaveBefore_ = false; // the wave before was too big for a beat
    // The strongest wave since the last beat that was too weak for one.
    Wave weak_;
    // The typical beat: the slope sums of the last TypicalBeats, circular.
    std::array<double, TypicalBeats> strengths_ {};
    int strengthCount_ = 0;
    double typical_ = 0.0; // their median; 0 while none
    double learnt_ = 0.0;  // while none: the strongest wave since learning began
    long long learnFrom_ = 0;
    std::array<long long, TypicalBeats> intervals_ {};
    int intervalCount_ = 0;

    long long lastPeak_ = -1; // -1: the chain is broken
    long long lastBeatEver_ = -1;
    long long beatAt_ = -1;
    long long interval_ = 0;
    double beatStrength_ = 0.0;
    double beatFoot_ = 0.0;
    double primedFoot_ = -1.0; // none
};
