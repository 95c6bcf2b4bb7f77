// A session recording read back as the program leaves it: a torn last line,
// a line that is not an event, an event past the samples, a rate change, a
// port lost and back, and a clock that runs 1 % slow against the samples;
// its times, rates and EDF+ export read back with EDFlib. Then the bytes the
// sensor sends after a Stop, and a stream a rate change restarts.
#include "EdfReadBack.h"
#include "SessionExport.h"
#include "recording/SessionReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using SessionFormat::Kind;

class SessionRecordingTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString stem;
    const QDateTime t0 {QDate(2026, 12, 8), QTime(15, 30), QTimeZone(3600)};
    QByteArray samples;

    QByteArray at(qint64 sample, qint64 ms, Kind kind, const QStringList &values = {}) const
    {
        return SessionFormat::line({sample, t0.addMSecs(ms), kind, values});
    }

private slots:
    void init()
    {
        stem = dir.filePath(QStringLiteral("20261208-153000"));
        // 200 Hz with the clock 1 % slow, samples pausing for the change to 500 Hz,
        // lost at 4000 for six seconds.
        QByteArray events = at(0, 0, Kind::Header, {"1"}) + at(0, 0, Kind::Start, {"200", "4", "2"});
        for (qint64 k = 1; k <= 9; ++k)
            events += at(200 * k, 1010 * k, Kind::Time);
        events.insert(events.indexOf("\n1600\t"), "\n" + at(1500, 7575, Kind::Marker, {"1"}).chopped(1));
        events += at(2000, 10300, Kind::Rate, {"500"});
        for (qint64 k = 1; k <= 3; ++k)
            events += at(2000 + 500 * k, 10300 + 1000 * k, Kind::Time);
        events += "not an event\n";
        events += at(4000, 14300, Kind::Lost) + at(4000, 20000, Kind::Back) + at(4500, 21000, Kind::Time);
        events += at(5200, 22400, Kind::Marker, {"2"}); // its samples never reached the disk
        events += at(5000, 22000, Kind::Stop, {"3", "-"}).left(20);
        samples.resize(5000);
        for (int i = 0; i < samples.size(); ++i)
            samples[i] = char(i * 7 % 256);
        QFile e(stem + ".events");
        QFile s(stem + ".samples");
        QVERIFY(e.open(QIODevice::WriteOnly) && e.write(events) == events.size());
        QVERIFY(s.open(QIODevice::WriteOnly) && s.write(samples) == samples.size());
    }

    void readsWhatWasWrittenWhole()
    {
        // Named by its stem or either file. The summary (start, length, markers,
        // rates, breaks) is test_record_cli's show, word for word.
        for (const QString &path : {stem, stem + ".samples", stem + ".events"}) {
            const SessionReader r = SessionReader::load(path);
            QVERIFY(r.ok());
            QCOMPARE(r.samples, samples);
            QCOMPARE(r.leftOut, 3); // the torn Stop, the line that is no event, the marker past the end
            QCOMPARE(r.events.size(), size_t(18));
        }
        const SessionReader r = SessionReader::load(stem);
        QCOMPARE(std::pair(r.rateAt(1999), r.rateAt(2000)), std::pair(std::optional(200.0), std::optional(500.0)));
        QCOMPARE(std::pair(r.runs()[0].end, r.runs()[1].first), std::pair(qint64(4000), qint64(4000)));
    }

    void timesFromTheTimePoints()
    {
        const SessionReader r = SessionReader::load(stem);
        const auto ms = [&](qint64 sample) { return r.msecsOf(sample) - double(t0.toMSecsSinceEpoch()); };
        QCOMPARE(ms(100), 505.0);    // between two time points, at the clock's pace
        QCOMPARE(ms(1500), 7575.0);  // the marker is a time point too
        QCOMPARE(ms(1999), 10085.0); // at the rate's pace up to an event that is not a time point
        QCOMPARE(ms(2250), 10800.0);
        QCOMPARE(ms(3999), 14298.0); // and up to the Lost
        QCOMPARE(ms(4000), 20000.0); // the first sample after the gap
        QCOMPARE(ms(4999), 21998.0); // past the last time point, at the rate in force
        QCOMPARE(r.sampleAt(double(t0.toMSecsSinceEpoch()) + 10800), qint64(2250));
        QCOMPARE(r.timeOf(2250).offsetFromUtc(), 3600);
    }

    void notARecording()
    {
        QFile::remove(stem + ".events");
        QCOMPARE(SessionReader::load(stem).problem, SessionReader::Problem::Missing);
        QFile e(stem + ".events");
        QVERIFY(e.open(QIODevice::WriteOnly) && e.write("0\t2026-12-08T15:30:00.000+01:00\tstart\t200\n") > 0);
        e.close();
        QCOMPARE(SessionReader::load(stem).problem, SessionReader::Problem::NotASession);
        // Killed before the header was whole: readable, and empty of events.
        QVERIFY(e.open(QIODevice::WriteOnly) && e.write("0\t2026-12-08T15:30:00.000+01:00\tpulse-demo") > 0);
        e.close();
        const SessionReader r = SessionReader::load(stem);
        QVERIFY(r.ok() && r.events.empty() && r.leftOut == 1);
        QVERIFY(SessionReader::isRecording(stem) && !SessionReader::isRecording(dir.path()));
    }

    void edfSplitAtTheRateChange()
    {
        const SessionReader r = SessionReader::load(stem);
        const auto parts = SessionExport::edfParts(r);
        QCOMPARE(parts.size(), size_t(2));
        QCOMPARE(SessionExport::edfNames(dir.filePath("x.edf"), 3),
                 (QStringList {dir.filePath("x.edf"), dir.filePath("x-2.edf"), dir.filePath("x-3.edf")}));
        QCOMPARE(SessionExport::edfNames("x", 2), (QStringList {"x", "x-2.edf"}));
        // The pulse rate's windows, split at a change, a gap and a Stop, are
        // test_record_cli's (show).
        const std::vector<QMap<QString, QList<double>>> expected = {
            {{"开始", {0.0}}, {"标记 1", {7.5}}},
            {{"采样速率 500Hz", {0.0}}, {"端口断开", {4.0}}, {"端口恢复", {4.0}}},
        };
        for (size_t i = 0; i < parts.size(); ++i) {
            const QString path = dir.filePath(QString::number(i));
            QString error;
            QVERIFY(SessionExport::writeEdf(r, parts[i], path, &error));
            EdfReadBack edf(path);
            QVERIFY(edf.ok);
            QCOMPARE(edf.rateHz, parts[i].rateHz);
            const size_t count = size_t(parts[i].end - parts[i].first);
            QVERIFY(edf.samples.size() >= count);
            for (size_t k = 0; k < count; ++k)
                QCOMPARE(edf.samples[k], int(std::uint8_t(samples[qsizetype(parts[i].first) + qsizetype(k)])));
            QCOMPARE(edf.startTime, r.timeOf(parts[i].first).time());
            edf.notes.remove("心跳");
            edf.notes.remove("补齐，无数据");
            QCOMPARE(edf.notes, expected[i]);
        }
    }

    void stopThenRestartedByARateChange()
    {
        // 200 Hz stopped at 1000, four more bytes read at 5.030 s; 500 Hz set
        // half a minute later restarts the stream; a gain change after the last
        // Stop restarts it too, but no sample came.
        QFile e(stem + ".events");
        QVERIFY(e.open(QIODevice::WriteOnly) &&
                e.write(at(0, 0, Kind::Header, {"1"}) + at(0, 0, Kind::Start, {"200", "4", "2"}) +
                        at(1000, 5000, Kind::Stop, {"1", "ab"}) + at(1004, 5030, Kind::Time) +
                        at(1004, 35000, Kind::Rate, {"500"}) + at(1504, 36000, Kind::Time) +
                        at(1504, 36010, Kind::Stop, {"-", "-"}) + at(1504, 40000, Kind::Gain, {"5"})) > 0);
        e.close();
        QVERIFY(QFile::resize(stem + ".samples", 1504));
        const SessionReader r = SessionReader::load(stem);
        QCOMPARE(r.runs().size(), size_t(2));
        QCOMPARE(std::pair(r.runs()[0].end, r.runs()[1].first), std::pair(qint64(1004), qint64(1004)));
        const auto ms = [&](qint64 sample) { return r.msecsOf(sample) - double(t0.toMSecsSinceEpoch()); };
        QCOMPARE(ms(1002), 5015.0);  // the bytes after the Stop, up to their time point
        QCOMPARE(ms(1004), 35000.0); // the stream again from the rate change

        // The gain change's stream, 600 samples left out before 1600 and caught
        // up at 45 s: from there a run of its own.
        QVERIFY(e.open(QIODevice::Append) && e.write(at(1600, 45000, Kind::Gap, {"600"})) > 0);
        e.close();
        QVERIFY(QFile::resize(stem + ".samples", 1700));
        const SessionReader g = SessionReader::load(stem);
        QCOMPARE(g.runs().size(), size_t(4));
        QCOMPARE(std::pair(g.runs()[2].end, g.runs()[3].first), std::pair(qint64(1600), qint64(1600)));
        QCOMPARE(g.msecsOf(1650) - double(t0.toMSecsSinceEpoch()), 45100.0);
    }
};

QTEST_GUILESS_MAIN(SessionRecordingTest)
#include "tst_session_recording.moc"
