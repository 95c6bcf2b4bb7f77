// The record tool's rules without the command line: heart rate, numbers,
// time order, EDF+ read back with EDFlib, and argument parsing (the CSV lines
// and the rejected command lines are test_record_cli's, word for word).
#include "CommandLine.h"
#include "EdfReadBack.h"
#include "ModelPulse.h"
#include "PulseRate.h"
#include "RecordEdf.h"
#include "RecordStats.h"
#include "acquire/RecordFormat.h"
#include "acquire/RecordIndex.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <random>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// A record as the program saves it after the sweep took `stream`.
struct Saved
{
    QByteArray bytes;
    RecordFormat::Layout layout;

    explicit Saved(const Bytes &stream)
    {
        Sweep sweep;
        for (std::uint8_t v : stream)
            sweep.take(v);
        bytes = RecordFormat::bytes(sweep.sampleBuffer());
        layout = RecordFormat::layout(sweep.sampleIndex(), sweep.previousSweepEnd());
    }
    std::span<const std::uint8_t> view() const
    {
        return {reinterpret_cast<const std::uint8_t *>(bytes.constData()), size_t(bytes.size())};
    }
};

} // namespace

class RecordAnalysisTest : public QObject
{
    Q_OBJECT

private slots:
    void heartRateOfModelPulse()
    {
        struct Case
        {
            double perMinute;
            int rateHz, gain, baseline, count;
        };
        const int n = RecordFormat::Size;
        // Each started at 40 phases of its beat. The last but one has its tops
        // cut flat, even the dicrotic wave's, so its beats are counted, not
        // placed; the last is a short file of three or four beats.
        for (const Case c : {Case {75, 200, 4, 0, n}, Case {75, 200, 1, 0, n}, Case {40, 200, 5, 1, n},
                             Case {120, 300, 3, 2, n}, Case {120, 500, 8, 1, n}, Case {180, 400, 4, 0, n},
                             Case {180, 1000, 2, 0, n}, Case {75, 200, 10, 5, n}, Case {90, 200, 4, 0, 500}}) {
            for (int phase = 0; phase < 40; ++phase) {
                std::vector<long long> peaks;
                const Bytes record = modelPulse({c.perMinute, 1, false}, c.rateHz, size_t(c.count), c.gain, c.baseline,
                                                phase / 40.0 * 60.0 / c.perMinute, &peaks);
                const PulseRate::Estimate e = PulseRate::estimate(record, c.rateHz);
                const std::vector<int> found = PulseRate::beats(record, c.rateHz);
                QString where = QStringLiteral("%1/min at %2 Hz, %3x, phase %4/40: %5/min, found")
                                    .arg(c.perMinute)
                                    .arg(c.rateHz)
                                    .arg(c.gain)
                                    .arg(phase)
                                    .arg(e.beatsPerMinute);
                for (int f : found)
                    where += QStringLiteral(" %1").arg(f);
                where += QStringLiteral(", peaks");
                for (long long p : peaks)
                    where += QStringLiteral(" %1").arg(p);
                QVERIFY2(e.found && std::abs(e.beatsPerMinute - c.perMinute) <= 2.0, qPrintable(where));
                if (c.gain == 10) {
                    // A flat top cut by either end is no beat, and where the
                    // record begins after one, its dicrotic wave may be taken.
                    QVERIFY2(found.size() <= peaks.size() + 1 && found.size() + 2 >= peaks.size(), qPrintable(where));
                    continue;
                }
                // Every interval used; none extra, none twice, each at its
                // peak; none missed, but a peak within 10 ms of either end
                // (half the smoothing) cannot be told from the end itself.
                QVERIFY2(e.peaks == e.intervals + 1, qPrintable(where));
                const auto near = [&](const auto &list, long long at) {
                    return std::ranges::any_of(
                        list, [&](long long p) { return std::abs(p - at) <= std::max(2, c.rateHz / 200); });
                };
                QVERIFY2(found.size() <= peaks.size(), qPrintable(where));
                for (int f : found)
                    QVERIFY2(near(peaks, f), qPrintable(where));
                for (long long p : peaks)
                    QVERIFY2(p < c.rateHz / 100 || p >= c.count - c.rateHz / 100 || near(found, p), qPrintable(where));
            }
        }
    }

    void recordJoiningTwoSweeps()
    {
        // A saved record: the sweep in progress, then the previous sweep's tail,
        // joined at an arbitrary phase. The interval across the join is dropped.
        // The model's beats start at 0.17 s + k 60/72 s.
        const int rate = 200;
        Bytes record = modelPulse({72, 1, false}, rate, 700, 4, 0, 0.17);
        const Bytes tail = modelPulse({72, 1, false}, rate, RecordFormat::Size - 700, 4, 0, 0.17 + 0.37);
        record.insert(record.end(), tail.begin(), tail.end());

        const PulseRate::Estimate e = PulseRate::estimate(record, rate);
        QVERIFY(e.found);
        QVERIFY2(std::abs(e.beatsPerMinute - 72) <= 2.0, qPrintable(QString::number(e.beatsPerMinute)));
        QCOMPARE(e.intervals, e.peaks - 2);
    }

    void noPulse()
    {
        const int n = RecordFormat::Size;
        std::mt19937 random(7);
        Bytes jitter(n);
        for (auto &b : jitter)
            b = std::uint8_t(100 + random() % 3); // two counts of noise
        // All zero (Stop before Start), constant at the top, flat with noise,
        // one beat at 1000 Hz, two beats (one interval), one sample, none.
        const std::pair<Bytes, double> cases[] = {{Bytes(n, 0), 200},
                                                  {Bytes(n, 255), 200},
                                                  {jitter, 200},
                                                  {modelPulse({75, 1, false}, 1000, n), 1000},
                                                  {modelPulse({75, 1, false}, 200, 300), 200},
                                                  {Bytes {128}, 200},
                                                  {Bytes {}, 200}};
        for (const auto &[record, rateHz] : cases)
            QVERIFY2(!PulseRate::estimate(record, rateHz).found, qPrintable(QString::number(record.size())));
    }

    void stats()
    {
        const RecordStats s = RecordStats::of(Bytes {7, 255, 0, 10});
        QCOMPARE(s.minimum, 0);
        QCOMPARE(s.maximum, 255);
        QCOMPARE(s.mean, 68.0);

        Bytes big(RecordFormat::Size, 255); // must not overflow the sum
        QCOMPARE(RecordStats::of(big).mean, 255.0);
    }

    void timeOrderRestoresTheStream()
    {
        const double rate = 200;
        // Within the first sweep, the second, the third, and the third just begun.
        for (const auto &[count, gap] : {std::pair(500, false), std::pair(1146 + 400, true),
                                         std::pair(1146 + 1145 + 700, true), std::pair(1146 + 1145, false)}) {
            const Bytes stream = modelPulse({75, 1, false}, int(rate), size_t(count));
            const Saved saved(stream);
            const RecordSeries t = RecordSeries::timeOrdered(saved.view(), saved.layout);
            // The newest samples sent, in order, but for the one slot the record
            // never holds, which repeats its predecessor.
            QCOMPARE(t.gapAt >= 0, gap);
            const size_t n = t.values.size();
            QVERIFY(n >= 499);
            for (size_t i = 0; i < n; ++i)
                QCOMPARE(t.values[i], int(i) == t.gapAt ? t.values[i - 1] : stream[stream.size() - n + i]);
            QCOMPARE(t.held().size(), n - (gap ? 1 : 0));
            QCOMPARE(int(t.leftOut.size() + t.held().size()), RecordFormat::Size);
            QVERIFY(RecordSeries::isPadding(t.leftOut.back()));

            // In time order no beat interval spans a join, so none is dropped.
            const PulseRate::Estimate e = PulseRate::estimate(t.values, rate);
            QVERIFY(e.found && std::abs(e.beatsPerMinute - 75) <= 1.0);
            QCOMPARE(e.intervals, e.peaks - 1);
        }
    }

    void edfReadsBack()
    {
        const double rate = 300;
        const Saved saved(modelPulse({90, 1, false}, int(rate), 1146 + 600));
        RecordIndex::Entry facts;
        facts.savedAt = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 5, 250), QTimeZone(8 * 3600));
        facts.rateHz = 300;
        const std::vector<RecordEdf::Part> parts = {
            {"1", RecordSeries::timeOrdered(saved.view(), saved.layout), facts},
            {"2", RecordSeries::asStored(saved.view()), std::nullopt},
        };
        QTemporaryDir dir;
        QString error;
        QVERIFY(RecordEdf::write(dir.filePath("x.edf"), parts, rate, &error));

        EdfReadBack edf(dir.filePath("x.edf"));
        QVERIFY(edf.ok);
        QCOMPARE(std::pair(edf.fileType, edf.signalCount), std::pair(EDFLIB_FILETYPE_EDFPLUS, 1));
        QCOMPARE(edf.rateHz, rate);
        QCOMPARE(std::tuple(edf.signal.dig_min, edf.signal.dig_max, edf.signal.phys_min, edf.signal.phys_max),
                 std::tuple(0, 255, 0.0, 255.0));
        QCOMPARE(QByteArray(edf.signal.physdimension).trimmed(), QByteArray("counts"));
        const size_t first = parts[0].series.values.size();
        const size_t held = first + parts[1].series.values.size();
        // Padded to whole data records of a tenth of a second, with the last value.
        QCOMPARE(edf.samples.size(), (held + 29) / 30 * 30);
        for (size_t i = 0; i < edf.samples.size(); ++i) {
            const auto &values = i < first ? parts[0].series.values : parts[1].series.values;
            QCOMPARE(edf.samples[i], int(i < held ? values[i < first ? i : i - first] : parts[1].series.values.back()));
        }
        // The first sample came the record's length before the Stop, in local time.
        const QDateTime start = facts.savedAt.addMSecs(-std::llround(1000.0 * double(first) / rate));
        QCOMPARE(std::pair(edf.startDate, edf.startTime), std::pair(start.date(), start.time()));

        QMap<QString, QList<double>> &notes = edf.notes;
        const auto at = [&](double slot) { return std::round(slot / rate * 1e4) / 1e4; };
        QCOMPARE(notes.take("记录 1 开始"), QList<double> {0.0});
        QCOMPARE(notes.take("记录 2 开始"), QList<double> {at(first)});
        QCOMPARE(notes.take("缺 1 个采样"), QList<double> {at(parts[0].series.gapAt)});
        QCOMPARE(notes.take("补齐，无数据"), QList<double> {at(held)});
        const qsizetype beats = qsizetype(PulseRate::beats(parts[0].series.values, rate).size() +
                                          PulseRate::beats(parts[1].series.values, rate).size());
        QVERIFY(beats >= 10);
        QCOMPARE(notes.take("心跳").size(), beats);
        QVERIFY(notes.isEmpty());
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("command");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<std::optional<double>>("rate");
        QTest::addColumn<QString>("output");

        using C = Invocation::Command;
        const std::optional<double> none;
        auto row = [](const char *name) { return &QTest::newRow(name); };
        *row("show several") << QStringList {"show", "1", "2", "3"} << int(C::Show) << QStringList {"1", "2", "3"}
                             << none << QString();
        *row("rate before command") << QStringList {"--rate", "300", "show", "1"} << int(C::Show) << QStringList {"1"}
                                    << std::optional<double>(300) << QString();
        *row("rate with =") << QStringList {"csv", "--rate=312.5", "4"} << int(C::Csv) << QStringList {"4"}
                            << std::optional<double>(312.5) << QString();
        *row("png with output") << QStringList {"png", "2", "-o", "out.png"} << int(C::Png) << QStringList {"2"} << none
                                << QString("out.png");
        *row("file named like an option")
            << QStringList {"show", "--", "-x"} << int(C::Show) << QStringList {"-x"} << none << QString();
        *row("help wins") << QStringList {"png", "--bogus", "--help"} << int(C::Help) << QStringList {} << none
                          << QString();
        *row("help alone") << QStringList {"-h"} << int(C::Help) << QStringList {} << none << QString();
    }

    void commandLine()
    {
        QFETCH(QStringList, args);
        const CommandLine::Result r = CommandLine::parse(args);
        QVERIFY(r.invocation.has_value());
        QFETCH(int, command);
        QFETCH(QStringList, files);
        QFETCH(std::optional<double>, rate);
        QFETCH(QString, output);
        QCOMPARE(int(r.invocation->command), command);
        QCOMPARE(r.invocation->files, files);
        QCOMPARE(r.invocation->rateHz, rate);
        QCOMPARE(r.invocation->output, output);
    }
};

QTEST_APPLESS_MAIN(RecordAnalysisTest)
#include "tst_record_analysis.moc"
