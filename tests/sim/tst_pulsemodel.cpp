// The simulated pulse, judged by the checks a recorded pulse must pass, on
// the systolic peaks that pulse-record itself finds.
#include "ModelPulse.h"
#include "PulseRate.h"
#include "SampleSource.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

constexpr double LeadInSeconds = 2.0; // let the local range of the peak detector fill
constexpr double MeasuredSeconds = 30.0;
constexpr double NotchReach = 0.6;    // of a beat, after the peak
constexpr double NotchMinRise = 0.02; // of the beat's height

struct Stream
{
    std::vector<std::uint8_t> bytes;
    std::vector<double> smoothed;
    std::vector<int> peaks;
};

struct Beat
{
    std::size_t foot; // lowest sample since the previous peak
    std::size_t peak;
    double height; // peak minus foot, in counts of the smoothed stream
};

// 60 / mean peak-to-peak interval; 0 with fewer than two peaks.
double heartRate(const std::vector<int> &peaks, int rateHz)
{
    if (peaks.size() < 2)
        return 0.0;
    return 60.0 * rateHz * double(peaks.size() - 1) / double(peaks.back() - peaks.front());
}

// Every peak after the first, with the foot before it.
std::vector<Beat> beatsOf(const std::vector<double> &smoothed, const std::vector<int> &peaks)
{
    std::vector<Beat> out;
    for (std::size_t k = 1; k < peaks.size(); ++k) {
        const auto foot = std::min_element(smoothed.begin() + peaks[k - 1], smoothed.begin() + peaks[k]);
        out.push_back({std::size_t(foot - smoothed.begin()), std::size_t(peaks[k]), smoothed[peaks[k]] - *foot});
    }
    return out;
}

// Within NotchReach of a beat after the peak: a local minimum followed by a
// rise of at least NotchMinRise of the beat's height.
bool hasNotch(const std::vector<double> &smoothed, const Beat &beat, std::size_t beatLength)
{
    const std::size_t end = std::min(smoothed.size() - 1, beat.peak + std::size_t(NotchReach * double(beatLength)));
    for (std::size_t i = beat.peak + 1; i < end; ++i) {
        if (!(smoothed[i] < smoothed[i - 1] && smoothed[i] <= smoothed[i + 1]))
            continue;
        const double rise =
            *std::max_element(smoothed.begin() + std::ptrdiff_t(i), smoothed.begin() + std::ptrdiff_t(end) + 1) -
            smoothed[i];
        if (rise >= NotchMinRise * beat.height)
            return true;
    }
    return false;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Centred moving average over the detector's smoothing, shortened at the ends.
std::vector<double> smoothed(const std::vector<std::uint8_t> &bytes, int rateHz)
{
    const int n = int(bytes.size());
    const int width = std::max(1, int(std::lround(BeatDetector::SmoothingSeconds * rateHz)));
    std::vector<double> out(bytes.size());
    for (int i = 0; i < n; ++i) {
        const int from = std::max(0, i - (width - 1) / 2), to = std::min(n, from + width);
        out[size_t(i)] = std::accumulate(bytes.begin() + from, bytes.begin() + to, 0.0) / (to - from);
    }
    return out;
}

Stream record(const PulseModel::Config &config, int rateHz, int gain, int baseline, double seconds = MeasuredSeconds)
{
    Stream s {modelPulse(config, rateHz, std::size_t(seconds * rateHz), gain, baseline, LeadInSeconds), {}, {}};
    s.smoothed = smoothed(s.bytes, rateHz);
    s.peaks = PulseRate::beats(s.bytes, rateHz);
    return s;
}

double medianHeight(const Stream &s)
{
    std::vector<double> heights;
    for (const auto &beat : beatsOf(s.smoothed, s.peaks))
        heights.push_back(beat.height);
    return median(heights);
}

double medianFoot(const Stream &s)
{
    std::vector<double> feet;
    for (const auto &beat : beatsOf(s.smoothed, s.peaks))
        feet.push_back(s.smoothed[beat.foot]);
    return median(feet);
}

} // namespace

class PulseModelTest : public QObject
{
    Q_OBJECT
private slots:
    void heartRateRecovered()
    {
        const std::tuple<double, int, quint64> cases[] = {
            {72, 200, 1}, {72, 1000, 2}, {120, 200, 3}, {120, 500, 4}, {45, 300, 5}};
        for (const auto &[bpm, rateHz, seed] : cases) {
            const double found = heartRate(record({bpm, seed, true}, rateHz, 4, 0).peaks, rateHz);
            QVERIFY2(std::abs(found - bpm) <= 2.0,
                     qPrintable(QStringLiteral("%1/min at %2 Hz: found %3/min").arg(bpm).arg(rateHz).arg(found)));
        }
    }

    void beatsVaryOnlyWithVariability()
    {
        const int rateHz = 500;
        // The longest beat interval less the shortest, in seconds.
        const auto spread = [](const Stream &s) {
            std::vector<int> intervals;
            for (std::size_t k = 1; k < s.peaks.size(); ++k)
                intervals.push_back(s.peaks[k] - s.peaks[k - 1]);
            const auto [shortest, longest] = std::minmax_element(intervals.begin(), intervals.end());
            return double(*longest - *shortest) / rateHz;
        };
        const Stream exact = record({72.0, 1, false}, rateHz, 4, 0);
        QVERIFY(spread(exact) <= 2.0 / rateHz);
        QCOMPARE(record({72.0, 7, false}, rateHz, 4, 0).bytes, exact.bytes); // the seed plays no part

        const Stream varied = record({72.0, 1, true}, rateHz, 4, 0);
        QVERIFY2(spread(varied) > 0.05, "beat intervals should wander by tens of milliseconds");
        QCOMPARE(record({72.0, 1, true}, rateHz, 4, 0).bytes, varied.bytes); // same seed, same stream
        QVERIFY(record({72.0, 2, true}, rateHz, 4, 0).bytes != varied.bytes);
    }

    void gainScalesHeight()
    {
        // Unclipped at baseline 0 while 16 + 29 g <= 255.
        const double perStep = medianHeight(record({72.0, 1, true}, 200, 1, 0));
        QVERIFY2(perStep > 20 && perStep < 28, qPrintable(QString::number(perStep)));
        for (int gain = 2; gain <= 8; ++gain) {
            const double height = medianHeight(record({72.0, 1, true}, 200, gain, 0));
            QVERIFY2(std::abs(height - gain * perStep) <= 1.0 + 0.03 * height,
                     qPrintable(QStringLiteral("gain %1: height %2, %3 per step").arg(gain).arg(height).arg(perStep)));
        }
    }

    void baselineShiftsFoot()
    {
        for (int level = 0; level <= 5; ++level) {
            const double foot = medianFoot(record({72.0, 1, true}, 200, 1, level));
            QVERIFY2(std::abs(foot - (16 + 24 * level)) <= 3.0,
                     qPrintable(QStringLiteral("baseline %1: foot %2").arg(level).arg(foot)));
        }
    }

    void clipsAtTheEnds()
    {
        const Stream unclipped = record({72.0, 1, true}, 200, 8, 0, 10);
        QVERIFY(*std::max_element(unclipped.bytes.begin(), unclipped.bytes.end()) < 255);
        const Stream clipped = record({72.0, 1, true}, 200, 10, 5, 10);
        const auto top = std::count(clipped.bytes.begin(), clipped.bytes.end(), 255);
        QVERIFY(top > 0);
        QVERIFY(top < static_cast<long>(clipped.bytes.size()) / 2); // the foot stays below the top
        QCOMPARE(PulseModel::toByte(-5.0, 1, 0), std::uint8_t(0));
        QCOMPARE(PulseModel::toByte(50.0, 10, 5), std::uint8_t(255));
    }

    void dicroticNotch()
    {
        const int rateHz = 200;
        for (const auto &[bpm, gain] : {std::pair(72.0, 4), std::pair(72.0, 8), std::pair(120.0, 5)}) {
            const Stream s = record({bpm, 1, true}, rateHz, gain, 0);
            const auto beats = beatsOf(s.smoothed, s.peaks);
            QVERIFY(beats.size() > 10);
            const auto beatLength = static_cast<std::size_t>(60.0 / bpm * rateHz);
            const auto withNotch = std::count_if(
                beats.begin(), beats.end(), [&](const Beat &beat) { return hasNotch(s.smoothed, beat, beatLength); });
            QVERIFY2(
                withNotch >= 0.9 * static_cast<double>(beats.size()),
                qPrintable(
                    QStringLiteral("%1/min, %2x: %3 of %4 beats").arg(bpm).arg(gain).arg(withNotch).arg(beats.size())));
        }
    }

    void rateChangeKeepsModelTime()
    {
        PulseModel model({72.0, 1, true});
        model.setSamplingRate(200);
        for (int i = 0; i < 200; ++i)
            model.nextByte();
        QCOMPARE(model.time(), 1.0);
        model.setSamplingRate(1000);
        QCOMPARE(model.time(), 1.0);
        for (int i = 0; i < 500; ++i)
            model.nextByte();
        QCOMPARE(model.time(), 1.5);
    }

    void sources()
    {
        RampSource ramp;
        for (int i = 0; i < 600; ++i)
            QCOMPARE(int(ramp.next()), i % 256);
        FileSource file({7, 8, 9});
        const std::vector<int> expected = {7, 8, 9, 7, 8, 9, 7};
        for (int value : expected)
            QCOMPARE(int(file.next()), value);

        // The pulse follows the sensor's settings.
        SensorSettings settings;
        settings.gain = 1;
        PulseSource pulse({72.0, 1, false}, settings);
        std::uint8_t low = 255, high = 0;
        for (int i = 0; i < 400; ++i) {
            const std::uint8_t b = pulse.next();
            low = std::min(low, b);
            high = std::max(high, b);
        }
        QVERIFY(high - low >= 22 && high - low <= 26);
        settings.baseline = 5;
        pulse.apply(settings);
        low = 255;
        for (int i = 0; i < 400; ++i)
            low = std::min(low, pulse.next());
        QVERIFY(low >= 16 + 24 * 5 - 1 && low <= 16 + 24 * 5 + 1);
    }
};

QTEST_APPLESS_MAIN(PulseModelTest)
#include "tst_pulsemodel.moc"
