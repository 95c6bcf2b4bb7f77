// The beat detector and the pulse meter on the simulated sensor's pulse,
// whose peaks are known, and on what is no pulse.
#include "ModelPulse.h"
#include "acquire/BeatDetector.h"
#include "acquire/PulseMeter.h"

#include <QTest>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// `seconds` of a steady pulse.
Bytes pulse(double perMinute, int rateHz, int gain, int baseline, int seconds, std::vector<long long> *peaks = nullptr)
{
    return modelPulse({perMinute, 1, false}, rateHz, std::size_t(seconds * rateHz), gain, baseline, 0.0, peaks);
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
    void everyBeatAtItsPeak()
    {
        struct Case
        {
            double perMinute;
            int rateHz, gain, baseline;
        };
        // The last stream begins on a dicrotic wave: not to be locked onto.
        for (const Case c :
             {Case {40, 200, 1, 0}, Case {72, 300, 4, 0}, Case {120, 500, 8, 0}, Case {180, 1000, 5, 3}}) {
            std::vector<long long> peaks, found;
            BeatDetector detector(c.rateHz);
            for (std::uint8_t b : pulse(c.perMinute, c.rateHz, c.gain, c.baseline, 20, &peaks)) {
                if (detector.take(b))
                    found.push_back(detector.beatAt());
            }
            // The first may be a wave seen while the pulse's height was learnt;
            // from the second on, every peak, each within 5 ms.
            found.erase(found.begin());
            const long long reach = c.rateHz / 10;
            std::erase_if(peaks, [&](long long p) { return p < found.front() - reach || p > found.back() + reach; });
            QCOMPARE(found.size(), peaks.size());
            for (size_t k = 0; k < found.size(); ++k)
                QVERIFY2(std::abs(found[k] - peaks[k]) <= std::max(2, c.rateHz / 200),
                         qPrintable(QStringLiteral("at %1 Hz: %2").arg(c.rateHz).arg(found[k] - peaks[k])));
        }
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
