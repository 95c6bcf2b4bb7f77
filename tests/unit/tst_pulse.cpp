// The beat detector and the pulse meter on the simulated sensor's pulse,
// whose peaks are known, and on what is no pulse.
#include "PulseModel.h"
#include "acquire/BeatDetector.h"
#include "acquire/PulseMeter.h"

#include <QTest>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a steady pulse, and where its noise-free signal peaks.
Bytes pulse(double perMinute, int rateHz, int gain, int baseline, int seconds, std::vector<long long> *peaks = nullptr)
{
    PulseModel model({perMinute, 3, false});
    model.setSamplingRate(rateHz);
    Bytes bytes;
    double before = 0.0, last = 0.0;
    for (long long i = 0; i < seconds * rateHz; ++i) {
        const double s = model.nextSignal();
        if (peaks && i > 1 && last > 0.8 && last >= before && last > s)
            peaks->push_back(i - 1);
        before = std::exchange(last, s);
        bytes.push_back(PulseModel::toByte(s, gain, baseline));
    }
    return bytes;
}

// The reading after each of `seconds` seconds of `bytes`; the last one.
PulseMeter::Reading readAfter(PulseMeter &meter, const Bytes &bytes, int rateHz, int seconds, int from = 0)
{
    PulseMeter::Reading r;
    for (int t = from; t < from + seconds; ++t) {
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
        // The stream begins on a dicrotic wave: not to be locked onto.
        QTest::newRow("180/min, 1000 Hz, 5x, baseline 3") << 180.0 << 1000 << 5 << 3;
    }
    void everyBeatAtItsPeak()
    {
        QFETCH(double, perMinute);
        QFETCH(int, rateHz);
        QFETCH(int, gain);
        QFETCH(int, baseline);
        std::vector<long long> peaks, found;
        BeatDetector detector(rateHz);
        for (std::uint8_t b : pulse(perMinute, rateHz, gain, baseline, 20, &peaks)) {
            if (detector.take(b))
                found.push_back(detector.beatAt());
        }
        // The first may be a wave seen while the pulse's height was learnt;
        // from the second on, every peak, each within 5 ms.
        found.erase(found.begin());
        std::erase_if(peaks,
                      [&](long long p) { return p < found.front() - rateHz / 10 || p > found.back() + rateHz / 10; });
        QCOMPARE(found.size(), peaks.size());
        for (size_t k = 0; k < found.size(); ++k)
            QVERIFY2(std::abs(found[k] - peaks[k]) <= std::max(2, rateHz / 200),
                     qPrintable(QString::number(found[k] - peaks[k])));
    }

    void gapsAndFlatLines()
    {
        const int rate = 500;
        const Bytes beating = pulse(72, rate, 4, 0, 12);
        PulseMeter meter(rate);
        QCOMPARE(readAfter(meter, beating, rate, 6).perMinute, 72);
        // After a gap, four intervals again, none across it.
        meter.restart(rate);
        QCOMPARE(readAfter(meter, beating, rate, 2, 7).perMinute, 0);
        QCOMPARE(readAfter(meter, beating, rate, 3, 9).perMinute, 72);
        // A flat line with a count of noise: the rate stays nine seconds, then goes.
        Bytes flat(size_t(rate) * 10);
        for (size_t i = 0; i < flat.size(); ++i)
            flat[i] = std::uint8_t(100 + (i * 7 % 5 == 0));
        QCOMPARE(readAfter(meter, flat, rate, 9).perMinute, 72);
        QCOMPARE(readAfter(meter, flat, rate, 1, 9).perMinute, 0);
    }

    void clipping()
    {
        const int rate = 200;
        PulseMeter meter(rate);
        // Clipped tops still make beats: the rate is there behind the warning.
        const PulseMeter::Reading clipped = readAfter(meter, pulse(72, rate, 10, 5, 8), rate, 8);
        QCOMPARE(clipped.clipping, PulseMeter::Clipping::High);
        QCOMPARE(clipped.perMinute, 72);
        QCOMPARE(readAfter(meter, pulse(72, rate, 8, 0, 1), rate, 1).clipping, PulseMeter::Clipping::None);
        QCOMPARE(readAfter(meter, Bytes(rate, 0), rate, 1).clipping, PulseMeter::Clipping::Low);
    }
};

QTEST_APPLESS_MAIN(PulseTest)
#include "tst_pulse.moc"
