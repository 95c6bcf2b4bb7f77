// The session recording: the recorder on its own with a clock of the test's.
// An unwritable folder through the session and the window is
// faults.recording-faults', its words tst_session's.
#include "FakeSerialService.h"
#include "WorkingFolder.h"
#include "acquire/SessionRecorder.h"

#include <QTemporaryDir>
#include <QTest>

using namespace FakeLog;
using Kind = SessionFormat::Kind;

namespace {

// The events as "sample kind value..." lines, header first.
QStringList events(const QString &path)
{
    QStringList out;
    for (const QByteArray &line : fileBytes(path + SessionFormat::EventsSuffix).split('\n')) {
        if (const auto e = SessionFormat::parse(line))
            out << (QStringList {QString::number(e->sample), SessionFormat::keyword(e->kind)} + e->values).join(u' ');
    }
    return out;
}

std::span<const std::uint8_t> bytes(const QByteArray &b)
{
    return {reinterpret_cast<const std::uint8_t *>(b.constData()), size_t(b.size())};
}

} // namespace

class RecorderTest : public QObject
{
    Q_OBJECT

    qint64 now = 0;
    QDateTime wall = QDateTime::fromString(QStringLiteral("2026-12-08T15:30:00.000+01:00"), Qt::ISODateWithMs);

    void useTestClock(SessionRecorder &r)
    {
        r.setClock([this] { return now; }, [this] { return wall.addMSecs(now); });
    }

private slots:
    void samplesAreWrittenAboutOnceASecondBeforeTheirEvents()
    {
        QTemporaryDir dir;
        SessionRecorder r;
        useTestClock(r);
        QVERIFY(r.begin(dir.path()));
        QVERIFY(r.path().endsWith("sessions/20261208-153000"));
        const QString samples = r.path() + SessionFormat::SamplesSuffix;
        QCOMPARE(events(r.path()), QStringList {"0 pulse-demo-session 1"});

        // The first batch is written at once, with a time point after it;
        // then batches and events wait in memory until the second is up.
        r.take(bytes(ramp(10)));
        QCOMPARE(fileBytes(samples), ramp(10));
        for (int ms = 100; ms < SessionRecorder::WriteIntervalMs; ms += 100) {
            now = ms;
            r.take(bytes(ramp(10, ms / 10)));
        }
        r.note(Kind::Marker, {"1"});
        QCOMPARE(fileBytes(samples).size(), 10);
        QCOMPARE(events(r.path()).size(), 2);
        now = SessionRecorder::WriteIntervalMs;
        r.take(bytes(ramp(5)));
        QCOMPARE(fileBytes(samples).size(), 105);
        QCOMPARE(events(r.path()), QStringList({"0 pulse-demo-session 1", "10 time", "100 marker 1", "105 time"}));
        QVERIFY(
            fileBytes(r.path() + SessionFormat::EventsSuffix).endsWith("105\t2026-12-08T15:30:00.950+01:00\ttime\n"));

        // What waits when the stream stops goes out on its own.
        r.take(bytes(ramp(3)));
        r.note(Kind::Stop, {"-", "-"});
        QTRY_COMPARE(fileBytes(samples).size(), 108);
        QCOMPARE(events(r.path()).last(), "108 stop - -");
        r.end();
        r.take(bytes(ramp(3)));
        QCOMPARE(fileBytes(samples).size(), 108);
    }

    void twoRecordingsStartedInOneSecondTakeTwoNames()
    {
        QTemporaryDir dir;
        SessionRecorder a, b;
        useTestClock(a);
        useTestClock(b);
        QVERIFY(a.begin(dir.path()));
        QVERIFY(b.begin(dir.path()));
        QCOMPARE(b.path(), a.path() + "-2");
    }
};

QTEST_MAIN(RecorderTest)
#include "tst_recorder.moc"
