#include "BeatDetector.h"

#include <algorithm>
#include <cmath>

BeatDetector::BeatDetector(double rateHz)
    : rateHz_(rateHz > 0 ? std::min(rateHz, double(MaxRateHz)) : DefaultRateHz)
{
    width_ = std::clamp(int(std::lround(SmoothingSeconds * rateHz_)), 1, MaxSmoothingWidth);
    // A centred average: the newest sample is this far ahead of the centre.
    delay_ = width_ - 1 - (width_ - 1) / 2;
    slopeWidth_ = std::clamp(int(std::lround(SlopeSeconds * rateHz_)), 1, MaxSlopeWidth);
    minInterval_ = std::llround(MinIntervalSeconds * rateHz_);
    maxInterval_ = std::llround(MaxIntervalSeconds * rateHz_);
    maxBeat_ = std::llround(MaxBeatSeconds * rateHz_);
    flatSamples_ = std::llround(FlatSeconds * rateHz_);
}

void BeatDetector::prime(double typicalStrength, double typicalFoot)
{
    strengths_.fill(typicalStrength);
    strengthCount_ = TypicalBeats;
    learnTypical();
    primedFoot_ = typicalFoot;
}

bool BeatDetector::take(std::uint8_t sample)
{
    sameFor_ = taken_ > 0 && sample == lastSample_ ? sameFor_ + 1 : 0;
    lastSample_ = sample;
    if (filled_ == width_)
        sum_ -= window_[size_t(next_)];
    else
        ++filled_;
    window_[size_t(next_)] = sample;
    sum_ += sample;
    next_ = next_ + 1 == width_ ? 0 : next_ + 1;
    // The first averages would be centred before the first sample.
    if (taken_++ < delay_)
        return false;
    return step(double(sum_) / filled_, sameFor_ >= flatSamples_);
}

bool BeatDetector::finish()
{
    bool ended = false;
    // The newest samples, averaged over what follows them in the record.
    for (int k = 0; k < delay_ && filled_ > 1; ++k) {
        const int oldest = (next_ - filled_ + width_) % width_;
        sum_ -= window_[size_t(oldest)];
        --filled_;
        ended = step(double(sum_) / filled_, false) || ended;
    }
    // A peak already behind, though the pulse has not fallen back far enough yet.
    if (inWave_ && !onPeak_ && peakRose_)
        return endWave() || ended;
    return ended;
}

namespace {

// The median (the upper of two) of the newest `count` values of a ring that
// holds the last N; 0 when there are none.
template <typename T, std::size_t N> T medianOf(const std::array<T, N> &ring, int count)
{
    const int kept = std::min(count, int(N));
    if (kept == 0)
        return T {};
    std::array<T, N> sorted = ring;
    std::nth_element(sorted.begin(), sorted.begin() + kept / 2, sorted.begin() + kept);
    return sorted[size_t(kept / 2)];
}

} // namespace

void BeatDetector::learnTypical()
{
    typical_ = medianOf(strengths_, strengthCount_);
}

long long BeatDetector::usualInterval() const
{
    return intervalCount_ < TypicalBeats / 2 ? 0 : medianOf(intervals_, intervalCount_);
}

void BeatDetector::breakChain()
{
    lastPeak_ = -1;
    weak_ = {};
}

void BeatDetector::accept(const Wave &wave)
{
    interval_ = lastPeak_ >= 0 && wave.peak - lastPeak_ <= maxInterval_ ? wave.peak - lastPeak_ : 0;
    if (interval_ > 0)
        intervals_[size_t(intervalCount_++ % TypicalBeats)] = interval_;
    strengths_[size_t(strengthCount_++ % TypicalBeats)] = wave.strength;
    // Keeps the counts from growing without end.
    if (strengthCount_ >= 2 * TypicalBeats)
        strengthCount_ -= TypicalBeats;
    if (intervalCount_ >= 2 * TypicalBeats)
        intervalCount_ -= TypicalBeats;
    learnTypical();
    lastPeak_ = lastBeatEver_ = beatAt_ = wave.peak;
    beatStrength_ = wave.strength;
    beatFoot_ = foot_;
    weak_ = {};
    learnt_ = 0.0;
}

bool BeatDetector::endWave()
{
    inWave_ = false;
    const Wave wave {(peakFirst_ + peakLast_) / 2, waveStrength_};
    if (lastPeak_ >= 0 && wave.peak - lastPeak_ < minInterval_)
        return false; // sooner than any pulse: a notch on the beat just counted
    const double usual = typical_;
    if (usual <= 0.0) {
        // Nothing learnt yet: the strongest wave so far sets the scale.
        learnt_ = std::max(learnt_, wave.strength);
        if (wave.strength < ThresholdShare * learnt_)
            return false;
        accept(wave);
        return true;
    }
    if (wave.strength > MotionShare * usual && strengthCount_ >= TypicalBeats / 2) {
        // Motion: no pulse rises that steeply. Twice running, it is the
        // pulse that grew (a better contact): learnt afresh from here.
        breakChain();
        if (!bigWaveBefore_) {
            bigWaveBefore_ = true;
            return false;
        }
        strengthCount_ = intervalCount_ = 0;
        learnTypical();
    }
    bigWaveBefore_ = false;
    // The dicrotic wave comes early in the interval: a wave there must be
    // nearly a beat's size. A beat of a pulse that sped up is, so this
    // cannot hold the count at a multiple of the interval.
    const long long usualGap = usualInterval();
    const bool early = usualGap > 0 && lastPeak_ >= 0 && double(wave.peak - lastPeak_) < EarlyShare * double(usualGap);
    // A wave the stream began on counts by what it showed of its upstroke.
    // While few beats are known, the one the scale was learnt on may have
    // been the biggest of its breath: half as much will do.
    const double learning = strengthCount_ < TypicalBeats / 2 ? 0.5 : 1.0;
    const double needed = cutByStart_ ? SearchBackFloorShare : early ? EarlyBeatShare : learning * ThresholdShare;
    if (wave.strength >= needed * usual) {
        accept(wave);
        return true;
    }
    if (wave.strength > weak_.strength)
        weak_ = wave;
    return false;
}

bool BeatDetector::step(double level, bool flat)
{
    const long long at = ++position_;
    const double rise = at > 0 ? std::max(0.0, level - previous_) : 0.0;
    risingSinceStart_ = risingSinceStart_ && (at == 0 || rise > 0);
    previous_ = level;
    slopeSum_ += rise - rises_[size_t(nextRise_)];
    rises_[size_t(nextRise_)] = rise;
    nextRise_ = nextRise_ + 1 == slopeWidth_ ? 0 : nextRise_ + 1;
    if (!haveLow_) {
        low_ = level;
        haveLow_ = true;
        // Begun well above the pulse's foot: on a beat's upstroke or top.
        if (primedFoot_ >= 0 && level - primedFoot_ >= ThresholdShare * typical_) {
            beginWave(at, primedFoot_, level, false);
            waveStrength_ = level - primedFoot_;
            return false;
        }
    }

    if (flat) {
        if (lastPeak_ >= 0 || inWave_)
            breakChain();
        inWave_ = false;
        low_ = level;
        return false;
    }

    if (inWave_) {
        // A second upstroke before this wave fell back far: two beats on
        // a rising baseline, the first ending at its own top (judged before
        // this sample may have lifted the top).
        const double beatLevel = ThresholdShare * typical_;
        if (slopeSum_ < beatLevel) {
            upstrokeOver_ = true;
        } else if (upstrokeOver_ && beatLevel > 0 && peak_ - lowSincePeak_ >= SplitShare * waveStrength_) {
            const bool beat = peakRose_ && endWave();
            beginWave(at, lowSincePeak_, level, rise > 0);
            return beat;
        }
        if (level > peak_) {
            peak_ = lowSincePeak_ = level;
            peakFirst_ = peakLast_ = at;
            onPeak_ = peakRose_ = true;
        } else if (level == peak_ && onPeak_) {
            peakLast_ = at;
        } else {
            onPeak_ = false;
            lowSincePeak_ = std::min(lowSincePeak_, level);
        }
        waveStrength_ = std::max(waveStrength_, slopeSum_);
        // Back down by FallShare of its own upstroke (not of the rise from the
        // foot: on a wandering baseline the next beat may start far above it).
        if (level <= peak_ - FallShare * std::min(peak_ - foot_, waveStrength_)) {
            low_ = level;
            if (peakRose_)
                return endWave();
            inWave_ = false; // the record began on the way down: no peak in it
        } else if (at - waveBegan_ > maxBeat_) {
            breakChain(); // a step of the level
            inWave_ = false;
            low_ = level;
        }
        return false;
    }

    // No beat for longer than a pulse allows: the pulse is lost, and the
    // typical beat is learnt afresh (its height may have changed meanwhile).
    const long long since = std::max(lastBeatEver_, learnFrom_);
    if (at - since > maxInterval_) {
        breakChain();
        strengthCount_ = intervalCount_ = 0;
        learnTypical();
        learnt_ = 0.0;
        learnFrom_ = at;
    }
    // A beat missed: the strongest weaker wave since the last one counts.
    if (lastPeak_ >= 0 && weak_.peak > lastPeak_) {
        const long long usual = usualInterval();
        if (usual > 0 && at - lastPeak_ > std::llround(SearchBackShare * double(usual)) &&
            weak_.strength >= SearchBackFloorShare * typical_ && weak_.peak - lastPeak_ >= usual / 2) {
            accept(weak_);
            return true;
        }
    }

    low_ = std::min(low_, level);
    const double floor = std::max(MinRiseCounts, SearchBackFloorShare * typical_);
    if (slopeSum_ >= floor)
        beginWave(at, low_, level, rise > 0);
    return false;
}

void BeatDetector::beginWave(long long at, double footLevel, double level, bool rising)
{
    inWave_ = true;
    waveBegan_ = at;
    foot_ = footLevel;
    peak_ = lowSincePeak_ = level;
    peakFirst_ = peakLast_ = at;
    onPeak_ = true;
    peakRose_ = rising;
    cutByStart_ = risingSinceStart_;
    upstrokeOver_ = false;
    waveStrength_ = slopeSum_;
}
