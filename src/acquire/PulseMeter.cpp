#include "PulseMeter.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

PulseMeter::Agreeing PulseMeter::agreeing(std::span<const long long> intervals, int scanned, int wanted,
                                          double tolerance)
{
    Agreeing a;
    if (intervals.empty())
        return a;
    std::vector<long long> sorted(intervals.begin(), intervals.end());
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
    const double median = double(sorted[sorted.size() / 2]);
    const auto newest = std::min(size_t(std::max(scanned, 0)), intervals.size());
    for (size_t k = 1; k <= newest && a.used < wanted; ++k) {
        const long long d = intervals[intervals.size() - k];
        if (std::abs(double(d) - median) <= tolerance * median) {
            a.total += d;
            ++a.used;
        }
    }
    return a;
}

int PulseMeter::perMinute() const
{
    const int kept = std::min(count_, KeptIntervals);
    if (kept < AveragedBeats)
        return 0;
    std::array<long long, KeptIntervals> inOrder {};
    for (int k = 0; k < kept; ++k)
        inOrder[size_t(k)] = intervals_[size_t((count_ - kept + k) % KeptIntervals)];
    // Four of the newest six that agree with the others: one missed or
    // extra beat is passed over, more than that is no rate.
    const Agreeing a = agreeing(std::span(inOrder).first(size_t(kept)), AveragedBeats + 2, AveragedBeats);
    if (a.used < AveragedBeats)
        return 0;
    return int(std::lround(60.0 * detector_.rateHz() * a.used / double(a.total)));
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
