// The beat detector and the pulse meter on the simulated sensor's pulse,
// whose beats are known, and on what is no pulse.
#include "PulseModel.h"
#include "acquire/BeatDetector.h"
#include "acquire/PulseMeter.h"

#include <QTest>
#include <vector>

namespace {

struct Stream
{
    std::vector<double> signal; // in pulse heights, before the byte
    std::vector<std::uint8_t> bytes;
};

Stream pulse(double perMinute, int rateHz, int gain, int baseline, double seconds, bool variability = false)
{
    PulseModel model({perMinute, 3, variability});
    model.setSamplingRate(rateHz);
    Stream s;
    for (int i = int(seconds * rateHz); i > 0; --i) {
        s.signal.push_back(model.nextSignal());
        s.bytes.push_back(PulseModel::toByte(s.signal.back(), gain, baseline));
    }
    return s;
}

// Every beat that the detector marked, and the times the pulse really peaked.
std::vector<long long> detected(const std::vector<std::uint8_t> &bytes, int rateHz)
{
    BeatDetector d(rateHz);
    std::vector<long long> at;
    for (std::uint8_t b : bytes) {
        if (d.take(b))
            at.push_back(d.beatAt());
    }
    return at;
}

std::vector<long long> truePeaks(const std::vector<double> &s)
{
    std::vector<long long> at;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        if (s[i] > 0.8 && s[i] >= s[i - 1] && s[i] > s[i + 1])
            at.push_back(qsizetype(i));
    }
    return at;
}

PulseMeter::Reading readAfter(PulseMeter &meter, const std::vector<std::uint8_t> &bytes, int rateHz, int seconds)
{
    PulseMeter::Reading r;
    for (int t = 0; t < seconds; ++t) {
        meter.take({bytes.data() + size_t(t * rateHz), size_t(rateHz)});
        r = meter.read();
    }
    return r;
}

} // namespace

class PulseTest : public QObject
{
    Q_OBJECT

private slots:
    void everyBeatAtItsPeak_data()
    {
        QTest::addColumn<double>("perMinute");
        QTest::addColumn<int>("rateHz");
        QTest::addColumn<int>("gain");
        QTest::addColumn<int>("baseline");
        QTest::newRow("40/min, 200 Hz, 1x") << 40.0 << 200 << 1 << 0;
        QTest::newRow("72/min, 300 Hz, 4x") << 72.0 << 300 << 4 << 0;
        QTest::newRow("120/min, 500 Hz, 8x") << 120.0 << 500 << 8 << 0;
        QTest::newRow("180/min, 1000 Hz, 5x, baseline 3") << 180.0 << 1000 << 5 << 3;
    }
    void everyBeatAtItsPeak()
    {
        QFETCH(double, perMinute);
        QFETCH(int, rateHz);
        QFETCH(int, gain);
        QFETCH(int, baseline);
        const Stream s = pulse(perMinute, rateHz, gain, baseline, 20);
        std::vector<long long> found = detected(s.bytes, rateHz);
        // The first may be a wave seen while the pulse's height was learnt.
        found.erase(found.begin());
        std::vector<long long> peaks;
        for (long long p : truePeaks(s.signal)) {
            if (p > found.front() - rateHz / 10 && p < found.back() + rateHz / 10)
                peaks.push_back(p);
        }
        QCOMPARE(found.size(), peaks.size());
        const long long near = std::max(2, rateHz * 5 / 1000); // 5 ms
        for (size_t k = 0; k < found.size(); ++k)
            QVERIFY2(std::abs(found[k] - peaks[k]) <= near, qPrintable(QString::number(found[k] - peaks[k])));
    }

    void aGapIsNoInterval()
    {
        const int rate = 200;
        const Stream s = pulse(72, rate, 4, 0, 12);
        PulseMeter meter(rate);
        QCOMPARE(readAfter(meter, s.bytes, rate, 6).perMinute, 72);
        meter.restart(rate);
        // Four intervals again, none across the gap.
        const std::vector<std::uint8_t> later(s.bytes.begin() + 6 * rate + 77, s.bytes.end());
        QCOMPARE(readAfter(meter, later, rate, 2).perMinute, 0);
        QCOMPARE(readAfter(meter, std::vector(later.begin() + 2 * rate, later.end()), rate, 3).perMinute, 72);
    }

    void aFlatLineHasNoRate()
    {
        const int rate = 500;
        std::vector<std::uint8_t> flat(size_t(rate) * 12);
        for (size_t i = 0; i < flat.size(); ++i)
            flat[i] = std::uint8_t(100 + (i * 7 % 5 == 0)); // a count of noise
        PulseMeter meter(rate);
        QCOMPARE(readAfter(meter, pulse(72, rate, 4, 0, 8).bytes, rate, 8).perMinute, 72);
        // The rate stays for nine seconds without a beat, then goes.
        QCOMPARE(readAfter(meter, flat, rate, 9).perMinute, 72);
        QCOMPARE(readAfter(meter, flat, rate, 1).perMinute, 0);
        QVERIFY(detected(flat, rate).empty());
    }

    void clipping()
    {
        const int rate = 200;
        PulseMeter meter(rate);
        QCOMPARE(readAfter(meter, pulse(72, rate, 10, 2, 3).bytes, rate, 3).clipping, PulseMeter::Clipping::High);
        QCOMPARE(readAfter(meter, pulse(72, rate, 8, 0, 3).bytes, rate, 1).clipping, PulseMeter::Clipping::None);
        QCOMPARE(readAfter(meter, std::vector<std::uint8_t>(rate, 0), rate, 1).clipping, PulseMeter::Clipping::Low);
        // Clipped tops still make beats, and the rate comes with the warning.
        PulseMeter clipped(rate);
        QCOMPARE(readAfter(clipped, pulse(72, rate, 10, 5, 8).bytes, rate, 8).perMinute, 72);
    }
};

QTEST_APPLESS_MAIN(PulseTest)
#include "tst_pulse.moc"
