// The record tool's rules without the command line: heart rate, numbers,
// CSV and argument parsing.
#include "CommandLine.h"
#include "PulseModel.h"
#include "PulseRate.h"
#include "RecordCsv.h"
#include "RecordStats.h"
#include "acquire/RecordWriter.h"

#include <QTest>
#include <random>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(std::optional<double>)

namespace {

// `count` samples of the simulated sensor's steady pulse (no variation,
// breathing or noise) at `perMinute`, starting `startSeconds` into it.
Bytes modelPulse(double perMinute, int rateHz, int count, int gain = 4, int baseline = 0, double startSeconds = 0.0)
{
    PulseModel model({ perMinute, 1, false });
    model.setSamplingRate(rateHz);
    model.setGain(gain);
    model.setBaseline(baseline);
    for (long i = std::lround(startSeconds * rateHz); i > 0; --i)
        model.nextByte();
    Bytes out(static_cast<std::size_t>(count));
    for (auto &b : out)
        b = model.nextByte();
    return out;
}

} // namespace

class RecordAnalysisTest : public QObject {
    Q_OBJECT

private slots:
    void heartRateOfModelPulse_data();
    void heartRateOfModelPulse();
    void recordJoiningTwoSweeps();
    void noPulse_data();
    void noPulse();
    void stats();
    void csv();
    void commandLine_data();
    void commandLine();
};

void RecordAnalysisTest::heartRateOfModelPulse_data()
{
    QTest::addColumn<double>("perMinute");
    QTest::addColumn<double>("rateHz");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("baseline");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("start");

    const int n = RecordWriter::RecordSize;
    QTest::newRow("75/min at 200 Hz") << 75.0 << 200.0 << 4 << 0 << n << 0.0;
    QTest::newRow("75/min at 200 Hz, gain 1") << 75.0 << 200.0 << 1 << 0 << n << 0.3;
    QTest::newRow("40/min at 200 Hz") << 40.0 << 200.0 << 5 << 1 << n << 0.7;
    QTest::newRow("120/min at 300 Hz") << 120.0 << 300.0 << 3 << 2 << n << 0.1;
    QTest::newRow("180/min at 400 Hz") << 180.0 << 400.0 << 4 << 0 << n << 0.0;
    QTest::newRow("clipped flat tops") << 75.0 << 200.0 << 10 << 5 << n << 0.5;
    QTest::newRow("short file, 3 beats") << 90.0 << 200.0 << 4 << 0 << 500 << 0.2;
}

void RecordAnalysisTest::heartRateOfModelPulse()
{
    QFETCH(double, perMinute);
    QFETCH(double, rateHz);
    QFETCH(int, gain);
    QFETCH(int, baseline);
    QFETCH(int, count);
    QFETCH(double, start);

    const Bytes record = modelPulse(perMinute, int(rateHz), count, gain, baseline, start);
    const PulseRate::Estimate e = PulseRate::estimate(record, rateHz);
    QVERIFY(e.found);
    QVERIFY2(std::abs(e.beatsPerMinute - perMinute) <= 2.0, qPrintable(QString::number(e.beatsPerMinute)));
    // Every whole beat in the record is used; none is counted twice.
    const int beats = int(std::floor((count - 1) / rateHz / (60.0 / perMinute)));
    QVERIFY2(e.intervals >= beats - 1 && e.intervals <= beats, qPrintable(QString::number(e.intervals)));
    QCOMPARE(e.peaks, e.intervals + 1);
}

void RecordAnalysisTest::recordJoiningTwoSweeps()
{
    // A saved record: the sweep in progress, then the previous sweep's tail,
    // joined at an arbitrary phase. The interval across the join is dropped.
    // The model's beats start at 0.17 s + k 60/72 s.
    const int rate = 200;
    Bytes record = modelPulse(72, rate, 700, 4, 0, 0.17);
    const Bytes tail = modelPulse(72, rate, RecordWriter::RecordSize - 700, 4, 0, 0.17 + 0.37);
    record.insert(record.end(), tail.begin(), tail.end());

    const PulseRate::Estimate e = PulseRate::estimate(record, rate);
    QVERIFY(e.found);
    QVERIFY2(std::abs(e.beatsPerMinute - 72) <= 2.0, qPrintable(QString::number(e.beatsPerMinute)));
    QCOMPARE(e.intervals, e.peaks - 2);
}

void RecordAnalysisTest::noPulse_data()
{
    QTest::addColumn<Bytes>("record");
    QTest::addColumn<double>("rateHz");

    const int n = RecordWriter::RecordSize;
    QTest::newRow("stop before start: all zero") << Bytes(n, 0) << 200.0;
    QTest::newRow("constant at the top") << Bytes(n, 255) << 200.0;
    std::mt19937 random(7);
    Bytes jitter(n);
    for (auto &b : jitter)
        b = std::uint8_t(100 + random() % 3); // two counts of noise
    QTest::newRow("flat with noise") << jitter << 200.0;
    QTest::newRow("one beat at 1000 Hz") << modelPulse(75, 1000, n) << 1000.0;
    QTest::newRow("two beats: one interval") << modelPulse(75, 200, 300) << 200.0;
    QTest::newRow("single sample") << Bytes { 128 } << 200.0;
    QTest::newRow("empty") << Bytes {} << 200.0;
}

void RecordAnalysisTest::noPulse()
{
    QFETCH(Bytes, record);
    QFETCH(double, rateHz);
    QVERIFY(!PulseRate::estimate(record, rateHz).found);
}

void RecordAnalysisTest::stats()
{
    const RecordStats s = RecordStats::of(Bytes { 7, 255, 0, 10 });
    QCOMPARE(s.minimum, 0);
    QCOMPARE(s.maximum, 255);
    QCOMPARE(s.mean, 68.0);

    Bytes big(RecordWriter::RecordSize, 255); // must not overflow the sum
    QCOMPARE(RecordStats::of(big).mean, 255.0);
}

void RecordAnalysisTest::csv()
{
    const Bytes record { 0, 255, 17 };
    QCOMPARE(RecordCsv::format(record, std::nullopt), QByteArray("index,value\n0,0\n1,255\n2,17\n"));
    QCOMPARE(
        RecordCsv::format(record, 200.0), QByteArray("index,time_s,value\n0,0.0000,0\n1,0.0050,255\n2,0.0100,17\n"));
    QCOMPARE(RecordCsv::format(record, 300.0).split('\n').at(2), QByteArray("1,0.0033,255"));

    const Bytes full(RecordWriter::RecordSize, 1);
    const QList<QByteArray> lines = RecordCsv::format(full, 1000.0).split('\n');
    QCOMPARE(lines.size(), RecordWriter::RecordSize + 2); // header, samples, nothing after the last newline
    QCOMPARE(lines.at(RecordWriter::RecordSize), QByteArray("1145,1.1450,1"));
}

void RecordAnalysisTest::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<std::optional<double>>("rate");
    QTest::addColumn<QString>("output");

    using C = Invocation::Command;
    const std::optional<double> none;
    auto row = [](const char *name) { return &QTest::newRow(name); };
    *row("show several") << QStringList { "show", "1", "2", "3" } << true << int(C::Show)
                         << QStringList { "1", "2", "3" } << none << QString();
    *row("rate before command") << QStringList { "--rate", "300", "show", "1" } << true << int(C::Show)
                                << QStringList { "1" } << std::optional<double>(300) << QString();
    *row("rate with =") << QStringList { "csv", "--rate=312.5", "4" } << true << int(C::Csv) << QStringList { "4" }
                        << std::optional<double>(312.5) << QString();
    *row("png with output") << QStringList { "png", "2", "-o", "out.png" } << true << int(C::Png) << QStringList { "2" }
                            << none << QString("out.png");
    *row("file named like an option") << QStringList { "show", "--", "-x" } << true << int(C::Show)
                                      << QStringList { "-x" } << none << QString();
    *row("help wins") << QStringList { "png", "--bogus", "--help" } << true << int(C::Help) << QStringList {} << none
                      << QString();
    *row("help alone") << QStringList { "-h" } << true << int(C::Help) << QStringList {} << none << QString();

    const QStringList bad[] = {
        {},
        { "--rate", "200" },
        { "plot", "1" },
        { "show" },
        { "png", "1", "2" },
        { "csv", "1", "2" },
        { "csv", "1", "-o", "x.png" },
        { "png", "1", "-o" },
        { "png", "1", "-o", "" },
        { "show", "1", "--rate" },
        { "show", "1", "--rate", "abc" },
        { "show", "1", "--rate", "0" },
        { "show", "1", "--rate", "-200" },
        { "show", "1", "--rate", "nan" },
        { "show", "1", "--rate", "inf" },
        { "show", "1", "--rate", "200", "--rate", "300" },
        { "show", "1", "--verbose" },
    };
    for (const QStringList &args : bad)
        *row(qPrintable("rejects: " + args.join(' '))) << args << false << 0 << QStringList {} << none << QString();
}

void RecordAnalysisTest::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    const CommandLine::Result r = CommandLine::parse(args);
    QCOMPARE(r.invocation.has_value(), ok);
    if (!ok) {
        QVERIFY(!r.error.isEmpty());
        QVERIFY(!r.error.contains(u'\n'));
        return;
    }
    QFETCH(int, command);
    QFETCH(QStringList, files);
    QFETCH(std::optional<double>, rate);
    QFETCH(QString, output);
    QCOMPARE(int(r.invocation->command), command);
    QCOMPARE(r.invocation->files, files);
    QCOMPARE(r.invocation->rateHz, rate);
    QCOMPARE(r.invocation->output, output);
}

QTEST_APPLESS_MAIN(RecordAnalysisTest)
#include "tst_record_analysis.moc"
