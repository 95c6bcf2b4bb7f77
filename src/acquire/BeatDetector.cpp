#include "BeatDetector.h"

#include <algorithm>
#include <cmath>

BeatDetector::BeatDetector(double rateHz)
    : rateHz_(rateHz > 0 ? rateHz : 200.0)
{
    width_ = std::clamp(int(std::lround(SmoothingSeconds * rateHz_)), 1, MaxSmoothingWidth);
    // A centred average: the newest sample is this far ahead of the centre.
    delay_ = width_ - 1 - (width_ - 1) / 2;
    minInterval_ = std::llround(MinIntervalSeconds * rateHz_);
    maxInterval_ = std::llround(MaxIntervalSeconds * rateHz_);
    maxBeat_ = std::llround(MaxBeatSeconds * rateHz_);
}

void BeatDetector::prime(double knownSwing, double knownFoot)
{
    learning_ = false;
    swing_ = knownSwing;
    low_ = knownFoot;
    haveLow_ = true;
}

bool BeatDetector::take(std::uint8_t sample)
{
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
    return step(double(sum_) / filled_);
}

bool BeatDetector::takeSmoothed(double level)
{
    ++taken_;
    return step(level);
}

bool BeatDetector::finish()
{
    bool ended = false;
    // The newest samples, averaged over what follows them in the record.
    for (int k = 0; k < delay_ && filled_ > 1; ++k) {
        const int oldest = (next_ - filled_ + width_) % width_;
        sum_ -= window_[size_t(oldest)];
        --filled_;
        ended = step(double(sum_) / filled_) || ended;
    }
    // A peak already behind, though the pulse has not fallen half way yet.
    if (inBeat_ && !onPeak_ && peakRose_)
        return endBeat() || ended;
    return ended;
}

void BeatDetector::learnAfresh(long long at, double level)
{
    learning_ = true;
    learntFrom_ = at;
    rangeLow_ = rangeHigh_ = level;
    low_ = level;
    haveLow_ = true;
    lastPeak_ = -1;
    usualInterval_ = 0.0;
    inBeat_ = false;
}

bool BeatDetector::endBeat()
{
    inBeat_ = false;
    const long long beat = (peakFirst_ + peakLast_) / 2;
    const double height = peak_ - foot_;
    const long long since = lastPeak_ >= 0 ? beat - lastPeak_ : maxInterval_ + 1;
    const long long refractory = std::max(minInterval_, std::llround(RefractoryShare * usualInterval_));
    if (since < refractory) {
        // Too soon for a beat, unless the last one was not one: a wave of
        // less than the pulse's height, taken while the height was learnt.
        if (height <= OvershadowShare * swing_)
            return false;
        interval_ = 0;
    } else {
        interval_ = since <= maxInterval_ ? since : 0;
    }
    if (interval_ > 0)
        usualInterval_ = usualInterval_ > 0 ? 0.75 * usualInterval_ + 0.25 * double(interval_) : double(interval_);
    lastPeak_ = beatAt_ = beat;
    swing_ = height;
    beatFoot_ = foot_;
    learning_ = false;
    return true;
}

bool BeatDetector::step(double level)
{
    const long long at = ++position_;
    const bool rose = at > 0 && level > previous_;
    previous_ = level;
    if (!haveLow_) {
        learnAfresh(at, level);
        return false;
    }

    if (inBeat_) {
        if (level > peak_) {
            peak_ = level;
            peakFirst_ = peakLast_ = at;
            onPeak_ = peakRose_ = true;
        } else if (level == peak_ && onPeak_) {
            peakLast_ = at;
        } else {
            onPeak_ = false;
        }
        if (level <= peak_ - FallShare * (peak_ - foot_)) {
            low_ = level;
            if (peakRose_)
                return endBeat();
            inBeat_ = false; // the record began on the way down: no peak in it
        } else if (at - beatBegan_ > maxBeat_) {
            learnAfresh(at, level);
        }
        return false;
    }

    if (learning_) {
        // A window about a beat long, so that one odd sample long ago does
        // not set the height for ever.
        if (at - learntFrom_ > maxInterval_) {
            learntFrom_ = at;
            rangeLow_ = rangeHigh_ = low_ = level;
        }
        rangeLow_ = std::min(rangeLow_, level);
        rangeHigh_ = std::max(rangeHigh_, level);
    } else if (at - lastPeak_ > maxInterval_) {
        learnAfresh(at, level); // lost: its height may have changed
        return false;
    }
    low_ = std::min(low_, level);

    const double reference = learning_ ? rangeHigh_ - rangeLow_ : swing_;
    const double rise = level - low_;
    if (rise >= RiseShare * reference && rise >= MinSwingCounts) {
        inBeat_ = true;
        beatBegan_ = at;
        foot_ = low_;
        peak_ = level;
        peakFirst_ = peakLast_ = at;
        onPeak_ = true;
        peakRose_ = rose;
    }
    return false;
}
