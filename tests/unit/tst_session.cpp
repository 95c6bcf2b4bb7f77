// The sensor session driven through the recording serial double: no window.
#include "FakeLineTest.h"
#include "acquire/RecordFormat.h"
#include "app/Texts.h"
#include "link/SensorCommands.h"
#include "session/SensorSession.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

using namespace FakeLog;

class SessionTest : public FakeLineTest
{
    Q_OBJECT

    std::unique_ptr<SensorSession> s;
    QStringList warnings;    // what the warning boxes would say
    bool busy = false;       // inside the pauses
    bool warnedBusy = false; // a warning while busy

    SensorSession &session() override { return *s; }
    const Sweep &sweep() const { return s->acquisition().sweep(); }

private slots:
    void init()
    {
        s = std::make_unique<SensorSession>(std::unique_ptr<SerialService>(fake = new FakeSerialService));
        warnings.clear();
        busy = warnedBusy = false;
        connect(s.get(), &SensorSession::notice, this, [this](const SessionNotice &n) {
            warnings << Texts::notice(n);
            warnedBusy |= busy;
        });
        connect(s.get(), &SensorSession::busyChanged, this, [this](bool b) { busy = b; });
        folder.emplace();
    }
    void cleanup()
    {
        s.reset();
        folder.reset();
    }

    // --- Port selection ---

    void absentPortWarnsThenAnotherPickWorks()
    {
        fake->absentPorts = {3};
        s->selectPort(2);
        // The text as it always was, and the line's reason on a line below.
        QCOMPARE(warnings,
                 QStringList {"端口选择错误 ！\r\r      系统不存在此端口号，请检查后重选  \r      原因：设备 "
                              "/dev/absent3 不存在"});
        QCOMPARE(fake->takeLog(), QStringList {"open 3"});
        QCOMPARE(s->portNumber(), 3); // kept, although the port stayed closed
        QVERIFY(!fake->isOpen());
        s->selectPort(0);
        QCOMPARE(fake->takeLog(), QStringList {"open 1"} + PortInit);
        QCOMPARE(warnings.size(), 1);
        QVERIFY(!warnedBusy);
    }

    // --- Port closed or lost ---

    void lostPortWarnsOnceStopStillSavesAndAPickContinuesTheSweep()
    {
        openPort();
        s->start();
        feed(ramp(100, 1));
        const int x = sweep().plotX();
        fake->unplug();
        fake->unplug();
        QVERIFY(warnings.isEmpty()); // not inside the serial code that noticed
        QTRY_COMPARE(warnings, QStringList {Texts::PortLost});
        QVERIFY(s->started());
        s->stop();
        QCOMPARE(warnings, QStringList({Texts::PortLost, Texts::StopWithoutPort.arg("1")}));
        QCOMPARE(fileBytes("1").left(99), ramp(99, 2));
        QCOMPARE(s->fileNumber(), 2);
        s->selectPort(0);
        feed(ramp(10));
        QCOMPARE(sweep().plotX(), x + 90);
        QCOMPARE(warnings.size(), 2);
    }

    // --- A lost port coming back ---

    void aLostPortComesBackSetAsTheWindowShowsAndStreamsOn()
    {
        openPort();
        s->setGain(4);
        s->baselineUp();
        s->setRate(2);
        s->start();
        feed(ramp(100));
        const int x = sweep().plotX();
        fake->unplug();
        QTRY_COMPARE(warnings, QStringList {Texts::PortLost});
        fake->takeLog();
        const int looks = fake->looks;
        QTRY_VERIFY(fake->looks >= looks + 2);
        QVERIFY(fake->log.isEmpty()); // nothing there, nothing opened
        QSignalSpy back(s.get(), &SensorSession::reconnected);
        fake->devices[1] = {"COM1", "/dev/fake1-again", {}};
        QTRY_COMPARE(back.size(), 1);
        QCOMPARE(fake->takeLog(),
                 QStringList({"open 1", "pause init", "write 20 34 04", "pause init", "write 20 35 01", "pause init",
                              "write 20 37 02", "write 20 32"}));
        QVERIFY(!busy && !s->watchingForPort());
        feed(ramp(10)); // the sweep goes on at the marker
        QCOMPARE(sweep().plotX(), x + 90);
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(s->fileNumber(), 1);
    }

    // A reader takes the runs of samples from the events alone: after each
    // event, the rule it follows says what the line was last told.
    void theEventsTellAReaderWhereTheSensorStreams()
    {
        openPort();
        const auto write = [](const QByteArray &b) { return "write " + QString::fromLatin1(b.toHex(' ')); };
        QList<bool> told; // after each request that notes an event
        bool streams = false;
        const auto request = [&](const std::function<void()> &r) {
            r();
            for (const QString &entry : fake->takeLog()) {
                if (entry == write(SensorCommands::StartStream) || entry == write(SensorCommands::StopStream))
                    streams = entry == write(SensorCommands::StartStream);
            }
            told << (streams && fake->isOpen());
        };
        request([&] { s->start(); });
        request([&] { s->stop(); });
        request([&] { s->setGain(1); }); // restarts after a Stop
        const auto unplug = [&] {
            fake->unplug();
            QTRY_VERIFY(s->watchingForPort());
        };
        const auto replug = [&] {
            fake->devices[1] = {"COM1", "/dev/fake1-again", {}};
            QTRY_VERIFY(!s->watchingForPort());
        };
        request(unplug);
        request([&] { s->setRate(1); }); // reaches no lost line
        request(replug);
        request([&] { s->stop(); });
        request(unplug);
        request([&] { // set up as the window shows, and left stopped
            replug();
            QVERIFY(fake->log.contains("write 20 37 01"));
        });
        request([&] { s->setRate(0); });
        s->closePort();
        QList<bool> flowing;
        SessionFormat::Stream stream;
        for (const QByteArray &line : fileBytes(s->recorder().path() + SessionFormat::EventsSuffix).split('\n')) {
            const auto e = SessionFormat::parse(line);
            if (e && e->kind != SessionFormat::Kind::Header && e->kind != SessionFormat::Kind::Time)
                flowing << (stream = stream.after(e->kind)).flowing();
        }
        QCOMPARE(flowing, told);
        QCOMPARE(told, QList<bool>({true, false, true, false, false, true, false, false, false, true}));
    }

    void onlyTheSameAdapterIsOpenedAndAPickEndsTheWatch()
    {
        fake->devices[1] = {"COM1", "/dev/ttyUSB0", "A1"};
        openPort();
        fake->unplug();
        QTRY_COMPARE(warnings.size(), 1);
        fake->takeLog();
        fake->devices[2] = {"COM2", "/dev/ttyUSB2", "A1"};   // ours, under another number
        fake->devices[1] = {"COM1", "/dev/ttyUSB1", "B2"};   // another adapter on ours
        fake->devices[3] = {"/dev/ttyS0", "/dev/ttyS0", {}}; // the table's device once the entry is gone
        const int looks = fake->looks;
        QTRY_VERIFY(fake->looks >= looks + 2);
        fake->devices[1] = fake->devices[3];
        const int moreLooks = fake->looks;
        QTRY_VERIFY(fake->looks >= moreLooks + 2);
        QVERIFY(fake->log.isEmpty());
        QSignalSpy back(s.get(), &SensorSession::reconnected);
        fake->devices[1] = {"COM1", "/dev/ttyUSB1", "A1"}; // ours, under another name
        QTRY_COMPARE(back.size(), 1);
        QCOMPARE(fake->log.first(), QStringLiteral("open 1"));
        fake->unplug();
        QTRY_VERIFY(s->watchingForPort());
        s->selectPort(2);
        QVERIFY(!s->watchingForPort());
    }

    void aPortGoneAgainWhileBeingSetUpIsWatchedForQuietly()
    {
        openPort();
        fake->unplug();
        QTRY_COMPARE(warnings.size(), 1);
        fake->failWriteAfter = 1;
        fake->devices[1] = {"COM1", "/dev/fake1", {}};
        QTRY_VERIFY(fake->log.contains("failed"));
        fake->failWriteAfter = -1;
        QSignalSpy back(s.get(), &SensorSession::reconnected);
        fake->devices[1] = {"COM1", "/dev/fake1", {}};
        QTRY_COMPARE(back.size(), 1);
        QCOMPARE(warnings.size(), 1);
    }

    // --- Acquisition ---

    void startTakesWaitingBytesFirstAndStopSavesWhatWasPlotted()
    {
        openPort();
        QSignalSpy batches(s.get(), &SensorSession::traceChanged);
        fake->input = ramp(5, 1); // arrived before Start
        s->start();
        QCOMPARE(fake->takeLog(), QStringList {"write 20 32"});
        QCOMPARE(sweep().sampleIndex(), 5);
        feed(ramp(1200, 6));
        QCOMPARE(batches.size(), 2); // one per batch, not per sample
        QCOMPARE(batches.last().at(0).value<TraceUpdate>().markerLeft, sweep().markerLeft());
        s->stop();
        QCOMPARE(fileBytes("1"), RecordFormat::bytes(sweep().sampleBuffer()));
        QVERIFY(s->started()); // Stop does not end acquisition
        // Start again: from entry 0, where the pen stands.
        const int x = sweep().plotX();
        s->start();
        feed(QByteArray(1, char(77)));
        QCOMPARE(sweep().sampleIndex(), 1);
        QCOMPARE(sweep().sampleBuffer()[0], 77);
        QCOMPARE(sweep().plotX(), x + 9);
    }

    // --- Parameters ---

    void eachChangeSendsTheFullSequenceAndTheBaselineWrapsBothWays()
    {
        openPort();
        s->setGain(9);
        QCOMPARE(fake->takeLog(), command("20 34", "09"));
        s->setRate(4);
        QCOMPARE(fake->takeLog(), command("20 37", "04"));
        s->setGain(0);
        QCOMPARE(fake->takeLog(), command("20 34", "00"));
        // The level shown changes only once its sequence is through.
        int seen = -1;
        fake->onWrite = [&](const QByteArray &bytes) {
            if (bytes == "\x20\x32")
                seen = s->baselineLevel();
        };
        for (int expected : {1, 2, 3, 4, 5}) {
            s->baselineUp();
            QCOMPARE(seen, expected - 1);
            QCOMPARE(s->baselineLevel(), expected);
            QCOMPARE(fake->takeLog(), command("20 35", QStringLiteral("0%1").arg(expected)));
        }
        s->baselineUp();
        QCOMPARE(s->baselineLevel(), 0);
        QCOMPARE(fake->takeLog(), command("20 35", "00"));
        s->baselineDown();
        QCOMPARE(s->baselineLevel(), 5);
        QCOMPARE(fake->takeLog(), command("20 35", "05"));
    }

    void aChangeCutShortByALostPortKeepsTheLevelShown()
    {
        openPort();
        QSignalSpy changed(s.get(), &SensorSession::parametersChanged);
        fake->failWriteAfter = 2; // the stop and the command go out, the parameter fails
        s->baselineUp();
        QCOMPARE(fake->takeLog(), QStringList({"write 20 33", "pause busy", "write 20 35", "failed"}));
        QCOMPARE(s->baselineLevel(), 0);
        QCOMPARE(changed.size(), 0);
        QVERIFY(!busy);
        QTRY_COMPARE(warnings, QStringList {Texts::PortLost});
    }

    void parameterChangeDiscardsInputAndPlottingGoesOn()
    {
        openPort();
        s->start();
        feed(ramp(20));
        s->stop();
        fake->input = ramp(50); // sent before the sensor obeyed, never read
        // The sensor's first samples after the restart, there before this
        // thread runs again: kept, however soon they come.
        fake->onWrite = [&](const QByteArray &bytes) {
            if (bytes == SensorCommands::StartStream)
                fake->input += ramp(3);
        };
        s->setGain(2);
        QCOMPARE(fake->input, ramp(3));
        feed(ramp(4));
        QCOMPARE(sweep().sampleIndex(), 27);
    }

    // --- Stop and records ---

    void stopSendsFirstThenSavesNumberedRecords()
    {
        openPort();
        bool existedAtWrite = true;
        fake->onWrite = [&](const QByteArray &) { existedAtWrite = QFile::exists("1"); };
        s->stop();
        QCOMPARE(fake->takeLog(), QStringList {"write 20 33"});
        QVERIFY(!existedAtWrite);
        fake->onWrite = nullptr;
        QCOMPARE(fileBytes("1"), QByteArray(1146, '\0'));
        s->stop();
        s->stop();
        QCOMPARE(fileBytes("2"), fileBytes("1"));
        QVERIFY(QFile::exists("3"));
        QCOMPARE(s->fileNumber(), 4);
        QVERIFY(warnings.isEmpty());
    }

    void failedSavesKeepTheNumberAndSayWhy()
    {
        openPort();
        QVERIFY(QDir().mkdir("1"));
        QFile kept("1/keep");
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        s->stop();
        QCOMPARE(s->fileNumber(), 1);
        QCOMPARE(warnings, QStringList {Texts::RecordNotSaved.arg("1", "已有同名的文件夹")});
        QCOMPARE(QDir().entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {"1"});
        QCOMPARE(QDir("1").entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList {"keep"});
        QCOMPARE(fileBytes("1/keep"), QByteArray("kept"));
        QVERIFY(QDir("1").removeRecursively());
        // An index that cannot be written: the record is saved all the same.
        QVERIFY(QDir().mkdir(RecordIndex::FileName));
        s->stop();
        QCOMPARE(fileBytes("1"), QByteArray(1146, '\0'));
        QCOMPARE(s->fileNumber(), 2);
        QCOMPARE(warnings.value(1), Texts::IndexLineMissing.arg("1", RecordIndex::FileName, "已有同名的文件夹"));
        // A file where the recordings' folder goes: the recording's own words
        // (once a Start, and the next Start again, are faults.recording-faults').
        QVERIFY(QFile("sessions").open(QIODevice::WriteOnly));
        s->start();
        const QString sessions = QDir::toNativeSeparators(QDir::current().absoluteFilePath("sessions"));
        QTRY_COMPARE(warnings.value(2), Texts::RecordingFailed.arg(sessions, "无法创建文件"));
    }

    // --- Serial number ---

    void queryDuringAcquisitionThenAcquisitionResumes()
    {
        openPort();
        s->start();
        feed(ramp(10));
        s->querySerialNumber();
        feed(QByteArray("\x00\x00\x02\x04\x06\x08\x63\x64", 8));
        QCOMPARE(s->serialNumberText(), QStringLiteral("2468"));
        QCOMPARE(sweep().sampleIndex(), 12);
        QCOMPARE(sweep().sampleBuffer()[10], 0x63);
        QCOMPARE(sweep().sampleBuffer()[11], 0x64);
    }

    void aChangeKeepsAWaitingQueryWhichStartAbandons()
    {
        openPort();
        s->querySerialNumber();
        feed(QByteArray("\x00\x00\x09", 3));
        s->setGain(1); // what came discarded, still waiting
        QCOMPARE(s->pendingSerialQueries(), 1);
        feed(QByteArray("\x00\x00\x05\x06\x07\x08", 6));
        QCOMPARE(s->serialNumberText(), QStringLiteral("5678"));
        s->querySerialNumber();
        feed(QByteArray("\x00\x00\x01", 3));
        s->start();
        QCOMPARE(s->pendingSerialQueries(), 0);
        feed(QByteArray("\x02\x03\x04", 3));
        QVERIFY(s->serialNumberText().isEmpty());
        QCOMPARE(sweep().sampleIndex(), 6);
    }

    void secondClickCompletesFirstThenTheEarlierWaitsForSixMore()
    {
        openPort();
        s->querySerialNumber();
        s->querySerialNumber();
        QCOMPARE(s->pendingSerialQueries(), 2);
        feed(QByteArray("\x00\x00\x01\x02\x03\x04", 6));
        QCOMPARE(s->serialNumberText(), QStringLiteral("1234"));
        feed(QByteArray("\x00\x00\x05\x06\x07", 5));
        QCOMPARE(s->pendingSerialQueries(), 1);
        feed(QByteArray("\x08"));
        QCOMPARE(s->serialNumberText(), QStringLiteral("12345678"));
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "tst_session.moc"
