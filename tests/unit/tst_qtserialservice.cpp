// The QSerialPort line (the Windows program's) against a pseudo-terminal, so
// that it keeps working where it is not the program's own line.
#include "PtySensor.h"
#include "link/QtSerialService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Failure = SerialService::OpenFailure;

class QtSerialServiceTest : public QObject
{
    Q_OBJECT
    QTemporaryDir runtime_;
    PtySensor sensor_;

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
        QtSerialService port;
        QVERIFY(!port.write(" 2")); // closed: refused, not a crash
        QVERIFY(port.open(7));
        QVERIFY(port.write(QByteArray("\x20\x34\x00", 3)));
        QCOMPARE(sensor_.received(), QByteArray("\x20\x34\x00", 3));
        QVERIFY(port.write(" 2"));
        port.discardOutput();
        QCOMPARE(sensor_.received(), QByteArray(" 2"));

        QSignalSpy ready(&port, &SerialService::readyRead);
        QVERIFY(sensor_.send("\x01\x02\xff"));
        QTRY_VERIFY(ready.count() >= 1);
        QCOMPARE(port.read(3), QByteArray("\x01\x02\xff"));
        QVERIFY(sensor_.send("\x05\x06"));
        QTRY_COMPARE(port.bytesAvailable(), 2);
        port.discardInput();
        QCOMPARE(port.bytesAvailable(), 0);

        // Bytes nobody reads keep the newest of one receive buffer.
        QByteArray sent;
        for (int i = 0; i < 3000; ++i)
            sent += char(i % 251);
        QVERIFY(sensor_.send(sent));
        QTRY_VERIFY(port.bytesAvailable() > 0);
        QTest::qWait(100);
        QCOMPARE(port.read(5000), sent.right(SerialService::InBufferSize));
    }

    void hangUpClosesThePortOnce()
    {
#if !defined(Q_OS_WIN) && QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
        // Qt 6.8 on Unix no longer takes a zero-byte read for a hang-up: the
        // reason the program has a serial line of its own there.
        QSKIP("QSerialPort on Unix does not see a pseudo-terminal hang up from Qt 6.8 on");
#endif
        QVERIFY(!sensor_.attach(7).isEmpty());
        QtSerialService port;
        QVERIFY(port.open(7));
        QSignalSpy failed(&port, &SerialService::failed);
        sensor_.hangUp();
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!port.isOpen());
        QTest::qWait(200);
        QVERIFY(!port.write(" 3"));
        QCOMPARE(failed.count(), 1);
    }

    void aPortInUseOrMissingIsRefusedWithTheReason()
    {
        const QString slave = sensor_.attach(7);
        QVERIFY(!slave.isEmpty());
        QtSerialService first;
        QVERIFY(first.open(7));
        QtSerialService second;
        SerialService::OpenError why;
        QVERIFY(!second.open(7, &why));
        QCOMPARE(why, (SerialService::OpenError {Failure::InUse, slave}));
        QVERIFY(sensor_.send("\x42"));
        QTRY_COMPARE(first.bytesAvailable(), 1);
        first.close();
        QVERIFY(second.open(7)); // free again once closed

        const QString absent = runtime_.path() + "/ttyUSB9";
        QVERIFY(PtySensor::link(9, absent));
        QVERIFY(!second.open(9, &why));
        QVERIFY(!second.isOpen());
        QCOMPARE(why, (SerialService::OpenError {Failure::Missing, absent}));
    }
};

QTEST_GUILESS_MAIN(QtSerialServiceTest)
#include "tst_qtserialservice.moc"
