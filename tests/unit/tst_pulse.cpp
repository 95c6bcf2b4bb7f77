// The beat detector and the pulse meter on the simulated sensor's pulse,
// whose peaks are known, and on what is no pulse.
#include "ModelPulse.h"
#include "acquire/BeatDetector.h"
#include "acquire/PulseMeter.h"

#include <QTest>
#include <cmath>
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
        // No samples at all (after Stop): gone at the third reading.
        QCOMPARE(meter.read().perMinute + meter.read().perMinute, 144);
        QCOMPARE(meter.read().perMinute, 0);
        // After a gap, four intervals again, none across it.
        meter.restart(rate);
        QCOMPARE(readAfter(meter, beating, rate, 2, 7).perMinute, 0);
        QCOMPARE(readAfter(meter, beating, rate, 3, 9).perMinute, 72);
        // A flat line with a count of noise: the rate goes within three seconds.
        Bytes flat(size_t(rate) * 3);
        for (size_t i = 0; i < flat.size(); ++i)
            flat[i] = std::uint8_t(100 + (i * 7 % 5 == 0));
        QCOMPARE(readAfter(meter, flat, rate, 3).perMinute, 0);
    }

    // What real pulses do, made here: from `change` on, the true rate is
    // `after`. Never a number at 60 % of the truth or less; dashes within
    // four seconds where the beats cannot be trusted (and may come at a step); from ten seconds after
    // the change to the end, every reading the true rate within 3.
    void holdsOnWhatRealPulsesDo_data()
    {
        const int rate = 200, change = 12, seconds = 30;
        const auto model = [&](double perMinute, int gain, double stepTo = 0) {
            return modelPulse({perMinute, 3, false, double(change), stepTo}, rate, size_t(seconds * rate), gain);
        };
        // Beats of alternating height on a high foot that decays slowly, on
        // a wandering baseline: lower beats rise from the tail of the one before.
        const auto drawn = [&](double alternate, double wander) {
            Bytes out(size_t(seconds * rate));
            for (size_t i = 0; i < out.size(); ++i) {
                const double t = double(i) / rate, since = std::fmod(t, 60.0 / 90), beat = std::floor(t * 90 / 60);
                const double height = std::fmod(beat, 2) ? alternate : 1.0, up = since - 0.12;
                const double tail = std::exp(-(since + 60.0 / 90 - 0.12) / 0.6);
                out[i] = std::uint8_t(
                    std::lround(80 + wander * std::sin(t) + 50 * tail +
                                60 * height * (up < 0 ? std::exp(-up * up / 0.004) : std::exp(-up / 0.6))));
            }
            return out;
        };
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<double>("before");
        QTest::addColumn<double>("after");
        QTest::addColumn<bool>("dashes"); // must come
        Bytes dropOut = model(108, 4), motion = model(72, 4);
        std::fill(dropOut.begin() + change * rate, dropOut.begin() + (change + 2) * rate,
                  dropOut[size_t(change * rate)]);
        for (int i = 0; i < rate * 3 / 2; ++i)
            motion[size_t(change * rate + i)] = i / 30 % 2 ? 255 : 0;
        QTest::newRow("2 s flat drop-out") << dropOut << 108.0 << 108.0 << true;
        QTest::newRow("motion that clips") << motion << 72.0 << 72.0 << true;
        QTest::newRow("72 to 150") << model(72, 4, 150) << 72.0 << 150.0 << false;
        QTest::newRow("150 to 72") << model(150, 4, 72) << 150.0 << 72.0 << false;
        QTest::newRow("small pulse, gain 1") << model(72, 1) << 72.0 << 72.0 << false;
        QTest::newRow("alternating on a high foot") << drawn(0.45, 0) << 90.0 << 90.0 << false;
        QTest::newRow("baseline wander") << drawn(1, 25) << 90.0 << 90.0 << false;
    }

    void holdsOnWhatRealPulsesDo()
    {
        QFETCH(Bytes, bytes);
        QFETCH(double, before);
        QFETCH(double, after);
        QFETCH(bool, dashes);
        const int rate = 200, change = 12;
        PulseMeter meter(rate);
        bool dashed = false;
        for (int t = 1; t <= int(bytes.size()) / rate; ++t) {
            const int shown = readAfter(meter, bytes, rate, 1, t - 1).perMinute;
            const double truth = t <= change ? before : after;
            QVERIFY2(shown == 0 || shown > 0.6 * std::min(before, after), qPrintable(QString::number(t)));
            dashed = dashed || (t > change && t <= change + 4 && shown == 0);
            if (t > change + 10)
                QVERIFY2(std::abs(shown - truth) <= 3, qPrintable(QStringLiteral("%1 s: %2").arg(t).arg(shown)));
        }
        QVERIFY(dashed || !dashes);
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
