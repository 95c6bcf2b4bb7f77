// The session recording: the recorder on its own with a clock of the test's,
// and the session feeding it through the recording serial double.
#include "FakeSerialService.h"
#include "acquire/SessionRecorder.h"
#include "app/SensorSession.h"
#include "app/Texts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace FakeLog;
using Kind = SessionFormat::Kind;

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a reader takes: whole lines that parse, header first.
QList<SessionFormat::Event> events(const QString &path)
{
    QList<SessionFormat::Event> out;
    const QByteArray text = contents(path + SessionFormat::EventsSuffix);
    for (qsizetype from = 0, end; (end = text.indexOf('\n', from)) >= 0; from = end + 1) {
        const auto e = SessionFormat::parse(QByteArrayView(text).sliced(from, end - from));
        if (e)
            out << *e;
    }
    return out;
}

QStringList kinds(const QList<SessionFormat::Event> &list)
{
    QStringList out;
    for (const auto &e : list)
        out << QString::fromLatin1(SessionFormat::keyword(e.kind)) + QLatin1Char(' ') + e.values.join(u' ');
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
        QCOMPARE(kinds(events(r.path())), QStringList {"pulse-demo-session 1"});

        // The first batch is written at once, with a time point after it.
        r.take(bytes(ramp(10)));
        QCOMPARE(contents(samples), ramp(10));
        // Then batches and events wait in memory until the second is up.
        for (int ms = 100; ms < SessionRecorder::WriteIntervalMs; ms += 100) {
            now = ms;
            r.take(bytes(ramp(10, ms / 10)));
        }
        r.note(Kind::Marker, {"1"});
        QCOMPARE(contents(samples).size(), 10);
        QCOMPARE(events(r.path()).size(), 2);
        now = SessionRecorder::WriteIntervalMs;
        r.take(bytes(ramp(5)));
        QCOMPARE(contents(samples).size(), 105);
        const auto list = events(r.path());
        QCOMPARE(kinds(list), QStringList({"pulse-demo-session 1", "time ", "marker 1", "time "}));
        QCOMPARE(QList<qint64>({list[1].sample, list[2].sample, list[3].sample}), QList<qint64>({10, 100, 105}));
        QCOMPARE(list[3].time, wall.addMSecs(now));
        QCOMPARE(list[3].time.offsetFromUtc(), 3600);

        // What waits when the stream stops goes out on its own.
        r.take(bytes(ramp(3)));
        r.note(Kind::Stop, {"-", "-"});
        QTRY_COMPARE(contents(samples).size(), 108);
        QCOMPARE(events(r.path()).last().kind, Kind::Stop);
        r.end();
        r.take(bytes(ramp(3)));
        QCOMPARE(contents(samples).size(), 108);
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

    void aRemovedFolderEndsTheRecordingOnceAndKeepsItsTail()
    {
        QTemporaryDir records;
        SessionRecorder r;
        useTestClock(r);
        int failures = 0;
        connect(&r, &SessionRecorder::failed, this, [&] { ++failures; });
        QVERIFY(r.begin(records.path()));
        const QString path = r.path();
        r.take(bytes(ramp(50)));
        r.note(Kind::Marker, {"1"});
        r.sync();
        // Moved aside: what was written stays whole where it went.
        const QString aside = records.filePath("aside");
        QVERIFY(QDir().rename(records.filePath("sessions"), aside));
        r.take(bytes(ramp(50)));
        r.sync();
        r.sync();
        QCOMPARE(failures, 1);
        QCOMPARE(r.problem(), FileProblem::Gone);
        const QString moved = aside + "/" + QFileInfo(path).fileName();
        QCOMPARE(contents(moved + SessionFormat::SamplesSuffix), ramp(50));
        // A torn last line is left out, never misread.
        QFile torn(moved + SessionFormat::EventsSuffix);
        QVERIFY(torn.open(QIODevice::Append));
        torn.write("50\t2026-12-08T15:30:00.5");
        torn.close();
        QCOMPARE(kinds(events(moved)), QStringList({"pulse-demo-session 1", "time ", "marker 1"}));
        QVERIFY(!QFileInfo::exists(path + SessionFormat::SamplesSuffix)); // never made again
    }

    // --- Through the session ---

    void anUnwritableFolderWarnsOncePerStartAndTheNextStartTriesAgain()
    {
        QTemporaryDir records;
        const QString startDir = QDir::currentPath();
        QDir::setCurrent(records.path());
        auto *fake = new FakeSerialService;
        SensorSession s {std::unique_ptr<SerialService>(fake)};
        QStringList warnings;
        connect(&s, &SensorSession::notice, this, [&](const SessionNotice &n) { warnings << Texts::notice(n); });
        s.selectPort(0);
        // A file where the sessions folder goes.
        QFile blocker(records.filePath("sessions"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        s.start();
        fake->feed(ramp(100));
        s.stop();
        s.setRate(1);
        fake->feed(ramp(100));
        QTRY_COMPARE(warnings.size(), 1);
        QVERIFY(warnings[0].startsWith("会话录制无法写入“" + QDir::toNativeSeparators(records.filePath("sessions"))));
        QCOMPARE(contents("1").size(), 1146); // the record is saved all the same

        // Mended: the next Start records again.
        QVERIFY(blocker.remove());
        s.start();
        fake->feed(ramp(10));
        QCOMPARE(contents(s.recorder().path() + SessionFormat::SamplesSuffix), ramp(10));
        QCOMPARE(warnings.size(), 1);
        s.closePort();
        QDir::setCurrent(startDir);
    }
};

QTEST_MAIN(RecorderTest)
#include "tst_recorder.moc"
