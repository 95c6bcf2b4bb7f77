// The session recording: the recorder on its own with a clock of the test's.
// An unwritable folder through the session and the window is
// faults.recording-faults', its words tst_session's.
#include "FakeSerialService.h"
#include "WorkingFolder.h"
#include "recording/SessionRecorder.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

        // The first batch is written at once (by the writer's thread), with a
        // time point after it; then batches and events wait in memory until
        // the second is up.
        r.take(bytes(ramp(10)));
        QTRY_COMPARE(fileBytes(samples), ramp(10));
        for (int ms = 100; ms < SessionRecorder::WriteIntervalMs; ms += 100) {
            now = ms;
            r.take(bytes(ramp(10, ms / 10)));
        }
        r.note(Kind::Marker, {"1"});
        QCOMPARE(fileBytes(samples).size(), 10);
        QCOMPARE(events(r.path()).size(), 2);
        now = SessionRecorder::WriteIntervalMs;
        r.take(bytes(ramp(5)));
        QTRY_COMPARE(events(r.path()), QStringList({"0 pulse-demo-session 1", "10 time", "100 marker 1", "105 time"}));
        QCOMPARE(fileBytes(samples).size(), 105);
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

    // A disk that stalls for longer than the writer holds: the stall's samples
    // are left out, the window is told once, and a gap event says how many
    // and where the next recorded one is. The stalled disk is a FIFO in the
    // samples file's place, whose opening waits until the test reads it.
    void aStallLongerThanTheWriterHoldsLeavesAGap()
    {
#ifdef Q_OS_WIN
        QSKIP("needs a FIFO");
#else
        QTemporaryDir dir;
        SessionRecorder r;
        useTestClock(r);
        QSignalSpy behind(&r, &SessionRecorder::fellBehind);
        QVERIFY(r.begin(dir.path()));
        // Renamed into place, so that the writer, already at the new files,
        // finds either the file begin() made or the FIFO, never neither.
        const QByteArray fifo = QFile::encodeName(r.path() + SessionFormat::SamplesSuffix);
        const QByteArray made = fifo + ".fifo";
        QVERIFY(::mkfifo(made.constData(), 0600) == 0 && ::rename(made.constData(), fifo.constData()) == 0);
        qint64 taken = 0;
        const QByteArray batch(SessionRecorder::MaxPendingBytes, 'x');
        for (; taken < 2 * SessionWriter::SamplesCapacity; taken += batch.size()) {
            now += SessionRecorder::WriteIntervalMs;
            r.take(bytes(batch));
            if (taken == 0)
                QTest::qWait(200); // the writer waits at the FIFO with the first
        }

        // Back again: what the writer held goes out, and the batches after it.
        const int readEnd = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QByteArray recorded;
        const auto readOut = [&] {
            char chunk[65536];
            for (ssize_t n; (n = ::read(readEnd, chunk, sizeof chunk)) > 0;)
                recorded.append(chunk, qsizetype(n));
        };
        const auto gaps = [&] { return events(r.path()).filter(QRegularExpression("^\\d+ gap ")); };
        for (QDeadlineTimer patience(10000); gaps().isEmpty() && !patience.hasExpired(); taken += 10) {
            readOut();
            now += SessionRecorder::WriteIntervalMs;
            r.take(bytes(ramp(10)));
            QTest::qWait(5);
        }
        r.end();
        readOut();
        ::close(readEnd);
        QCOMPARE(gaps().size(), 1);
        const QStringList gap = gaps().first().split(u' ');
        QCOMPARE(recorded.size() + gap[2].toLongLong(), taken);
        QCOMPARE(recorded.mid(gap[0].toLongLong(), 10), ramp(10));
        QCOMPARE(behind.count(), 1);
#endif
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
