// The serial lines' contract against real pseudo-terminals and things that are
// no serial line at all. Built twice: against the Unix line (tst_serialline)
// and, with PULSE_QT_LINE, against the QSerialPort line (tst_qtserialservice),
// the Windows program's, so that it keeps working where it is not the
// program's own line.
#include "PtySensor.h"
#include "app/Texts.h"
#include "link/PortDirectory.h"
#include "link/PosixSerialLine.h"
#include "link/QtSerialService.h"

#ifdef PULSE_QT_LINE
using Line = QtSerialService;
#else
using Line = PosixSerialLine;
#endif
constexpr bool UnixLine = std::is_same_v<Line, PosixSerialLine>;

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <type_traits>
#include <unistd.h>

using Failure = SerialService::OpenFailure;

#define SKIP_UNLESS_UNIX_LINE(why)                                                                                     \
    if (!UnixLine)                                                                                                     \
    QSKIP("the Unix line's own: " why)

class SerialLineTest : public QObject
{
    Q_OBJECT
    QTemporaryDir runtime_;
    PtySensor sensor_;

    // Root opens anything; without the capabilities that override file
    // modes it is held to them, as any other user is.
    static void obeyFileModes(bool obey)
    {
        __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2] {};
        syscall(SYS_capget, &header, caps);
        const __u32 overrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
        caps[0].effective = obey ? caps[0].effective & ~overrides : caps[0].effective | (caps[0].permitted & overrides);
        syscall(SYS_capset, &header, caps);
    }

    // What only the Unix line counts.
    static qint64 wakeUps(const SerialService &) { return 0; }
    static qint64 wakeUps(const PosixSerialLine &line) { return line.wakeUps(); }
    static qint64 bytesRead(const SerialService &) { return 0; }
    static qint64 bytesRead(const PosixSerialLine &line) { return line.bytesRead(); }

    // Lets `ticks` of the Unix line's read ticks go by, counted on a timer of
    // the same interval: a load that delays them delays this count as well.
    static void letTicksPass(int ticks)
    {
        QTimer clock;
        clock.setInterval(PosixSerialLine::TickMs);
        clock.setTimerType(Qt::PreciseTimer);
        int fired = 0;
        connect(&clock, &QTimer::timeout, [&] { ++fired; });
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(fired >= ticks, 10000);
    }

private slots:
    void initTestCase()
    {
        QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }
    void cleanup() { sensor_.hangUp(); }

    void bytesGoOutBeforeWriteReturnsAndComeIn()
    {
        QVERIFY(!sensor_.attach(7).isEmpty());
        Line port;
        QVERIFY(!port.write(" 2")); // closed: refused, not a crash
        QVERIFY(port.open(7));
        QVERIFY(port.write(QByteArray("\x20\x34\x00", 3)));
        QCOMPARE(sensor_.received(), QByteArray("\x20\x34\x00", 3));
        QVERIFY(port.write(" 2"));
        port.discardOutput(); // must not swallow what was written
        QCOMPARE(sensor_.received(), QByteArray(" 2"));

        QSignalSpy ready(&port, &SerialService::readyRead);
        QVERIFY(sensor_.send("\x01\x02\xff"));
        QTRY_VERIFY(ready.count() >= 1);
        QCOMPARE(port.read(3), QByteArray("\x01\x02\xff"));
        QVERIFY(sensor_.send("\x05\x06"));
        QTRY_COMPARE(port.bytesAvailable(), 2);
        port.discardInput();
        QCOMPARE(port.bytesAvailable(), 0);
        QCOMPARE(bytesRead(port), UnixLine ? 3 : 0);
    }

    void aTrickleIsHandedOnInBatchesAndAFloodWhole()
    {
        SKIP_UNLESS_UNIX_LINE("QSerialPort hands on every read as it comes");
        QVERIFY(!sensor_.attach(7).isEmpty());
        PosixSerialLine port;
        QVERIFY(port.open(7));
        QSignalSpy ready(&port, &SerialService::readyRead);
        QByteArray got;
        connect(&port, &SerialService::readyRead, this, [&] { got += port.read(1 << 20); });
        QByteArray sent;
        for (int i = 0; i < 60; ++i) {
            sent += char(i);
            QVERIFY(sensor_.send(sent.right(1)));
            QTest::qWait(1);
        }
        QTRY_COMPARE(got, sent);
        // One hand-on per tick, and the line woke only at the first bytes of
        // a burst, not once per byte.
        QVERIFY2(ready.count() <= 30, qPrintable(QString::number(ready.count())));
        QVERIFY2(port.wakeUps() <= 3, qPrintable(QString::number(port.wakeUps())));

        // A flood far beyond the receive buffer reaches a reader whole.
        const QByteArray flood(100000, 'x');
        for (qsizetype at = 0; at < flood.size();) {
            const ssize_t n = ::write(sensor_.fd(), flood.constData() + at, size_t(flood.size() - at));
            at += std::max<ssize_t>(n, 0);
            QTest::qWait(n > 0 ? 0 : 5);
        }
        QTRY_COMPARE(got.size(), sent.size() + flood.size());
    }

    void unreadBytesKeepTheNewestOfOneBuffer()
    {
        QVERIFY(!sensor_.attach(7).isEmpty());
        Line port;
        QVERIFY(port.open(7));
        // Every byte that came in, counted at each hand-on, before the line
        // drops the oldest beyond its buffer.
        qint64 arrived = 0;
        qint64 kept = 0;
        connect(&port, &SerialService::readyRead, this, [&] {
            arrived += port.bytesAvailable() - kept;
            kept = std::min<qint64>(port.bytesAvailable(), SerialService::InBufferSize);
        });
        QByteArray sent;
        for (int i = 0; i < 3000; ++i)
            sent += char(i % 251);
        QVERIFY(sensor_.send(sent));
        QTRY_COMPARE(arrived, qint64(sent.size()));
        QCOMPARE(port.read(5000), sent.right(SerialService::InBufferSize));
    }

    void hangUpClosesThePortOnce_data()
    {
        QTest::addColumn<bool>("streaming");
        QTest::newRow("listening") << false;
        QTest::newRow("reading on ticks") << true;
    }
    void hangUpClosesThePortOnce()
    {
#if !defined(Q_OS_WIN) && QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        // Qt 6.8 on Unix no longer takes a zero-byte read for a hang-up: the
        // reason the program has a serial line of its own there.
        if (!UnixLine)
            QSKIP("QSerialPort on Unix does not see a pseudo-terminal hang up from Qt 6.8 on");
#endif
        QFETCH(bool, streaming);
        QVERIFY(!sensor_.attach(7).isEmpty());
        Line port;
        QVERIFY(port.open(7));
        QSignalSpy failed(&port, &SerialService::failed);
        if (streaming) {
            QVERIFY(sensor_.send("\x10\x11"));
            QTRY_COMPARE(port.bytesAvailable(), 2);
        }
        sensor_.hangUp();
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!port.isOpen());
        const qint64 woken = wakeUps(port);
        letTicksPass(10);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(wakeUps(port), woken);
        QVERIFY(!port.write(" 3"));
        QCOMPARE(failed.count(), 1);
    }

    void aPortInUseIsRefusedAndKeepsItsOwner()
    {
        const QString slave = sensor_.attach(7);
        QVERIFY(!slave.isEmpty());
        Line first;
        QVERIFY(first.open(7));
        Line second;
        SerialService::OpenError why;
        QVERIFY(!second.open(7, &why));
        QCOMPARE(why, (SerialService::OpenError {Failure::InUse, slave}));
        if (UnixLine) {
            // Another link to the same device is the same line.
            QVERIFY(PtySensor::link(6, slave));
            QVERIFY(!second.open(6, &why));
            QCOMPARE(why, (SerialService::OpenError {Failure::InUse, slave}));
        }
        QVERIFY(sensor_.send("\x42"));
        QTRY_COMPARE(first.bytesAvailable(), 1);
        QCOMPARE(first.read(8), QByteArray("\x42"));
        first.close();
        QVERIFY(second.open(7)); // free again once closed
    }

    void whyAPortDoesNotOpen_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<Failure>("failure");
        const QString dir = runtime_.path();
        QTest::newRow("no such device") << dir + "/ttyUSB9" << Failure::Missing;
        if (!UnixLine)
            return; // QSerialPort names no other reason on Unix
        QTest::newRow("a folder") << dir << Failure::NotASerialLine;
        QTest::newRow("a plain file") << dir + "/plain" << Failure::NotASerialLine;
        QTest::newRow("/dev/null") << "/dev/null" << Failure::NotASerialLine;
    }
    void whyAPortDoesNotOpen()
    {
        QFETCH(QString, target);
        QFETCH(Failure, failure);
        QFile plain(runtime_.path() + "/plain");
        QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("not a line") > 0);
        plain.close();
        QVERIFY(PtySensor::link(9, target));
        Line port;
        SerialService::OpenError why;
        QVERIFY(!port.open(9, &why));
        QVERIFY(!port.isOpen());
        QCOMPARE(why, (SerialService::OpenError {failure, target}));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("not a line")); // nothing written to it
        // Without a folder entry the built-in table's device is named.
        QVERIFY(!port.open(12, &why));
        QCOMPARE(why, (SerialService::OpenError {Failure::Missing, "/dev/ttyUSB7"}));
    }

    void noPermission()
    {
        SKIP_UNLESS_UNIX_LINE("QSerialPort takes no permission for a port in use, as Windows reports it");
        const QString slave = sensor_.attach(7);
        QVERIFY(!slave.isEmpty());
        QVERIFY(::chmod(QFile::encodeName(slave).constData(), 0) == 0);
        obeyFileModes(true);
        Line port;
        SerialService::OpenError why;
        const bool opened = port.open(7, &why);
        obeyFileModes(false);
        QVERIFY(!opened);
        QCOMPARE(why, (SerialService::OpenError {Failure::NoPermission, slave}));
        QVERIFY(Texts::openFailure(why).contains("dialout"));
    }
};

QTEST_GUILESS_MAIN(SerialLineTest)
#include "tst_serialline.moc"
