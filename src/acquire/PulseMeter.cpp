#include "PulseMeter.h"

#include <algorithm>
#include <cmath>

void PulseMeter::restart(double rateHz)
{
    detector_.restart(rateHz);
    count_ = 0;
    readingsWithoutBeat_ = 0;
    beatSinceReading_ = false;
}

void PulseMeter::beat()
{
    beatSinceReading_ = true;
    if (detector_.interval() == 0) {
        count_ = 0; // the chain broke before this beat: start the count afresh
        return;
    }
    intervals_[size_t(count_++ % KeptIntervals)] = detector_.interval();
}

int PulseMeter::perMinute() const
{
    const int kept = std::min(count_, KeptIntervals);
    if (kept < AveragedBeats)
        return 0;
    std::array<long long, KeptIntervals> sorted = intervals_;
    std::sort(sorted.begin(), sorted.begin() + kept);
    const double median = double(sorted[size_t(kept / 2)]);
    // Four of the newest six that agree with the others: one missed or
    // extra beat is passed over, more than that is no rate.
    long long total = 0;
    int used = 0;
    for (int k = 1; k <= std::min(kept, AveragedBeats + 2) && used < AveragedBeats; ++k) {
        const long long d = intervals_[size_t((count_ - k) % KeptIntervals)];
        if (std::abs(double(d) - median) <= IntervalTolerance * median) {
            total += d;
            ++used;
        }
    }
    if (used < AveragedBeats)
        return 0;
    return int(std::lround(60.0 * detector_.rateHz() * used / double(total)));
}

PulseMeter::Reading PulseMeter::read()
{
    Reading r;
    readingsWithoutBeat_ = beatSinceReading_ ? 0 : readingsWithoutBeat_ + 1;
    beatSinceReading_ = false;
    if (detector_.broken() || readingsWithoutBeat_ >= ReadingsWithoutBeat)
        count_ = 0; // no pulse since the last beat: the next rate needs new beats
    r.perMinute = perMinute();
    if (taken_ > 0) {
        const int limit = int(ClipShare * taken_);
        if (high_ > limit && high_ >= low_)
            r.clipping = Clipping::High;
        else if (low_ > limit)
            r.clipping = Clipping::Low;
    }
    taken_ = low_ = high_ = 0;
    return r;
}
