// The QSerialPort backend against a real pseudo-terminal.
#include "link/PortDirectory.h"
#include "link/QtSerialService.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class QtSerialTest : public QObject
{
    Q_OBJECT
    QTemporaryDir runtime_;
    int master_ = -1;

    // A pseudo-terminal linked as COM7; its master side plays the sensor.
    void attach()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master_ >= 0);
        QVERIFY(grantpt(master_) == 0 && unlockpt(master_) == 0);
        // Raw at once: a new pty echoes and rewrites bytes.
        termios t{};
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
        QVERIFY(QDir().mkpath(PortDirectory::folder()));
        const QString link = PortDirectory::folder() + "/COM7";
        QFile::remove(link);
        QVERIFY(QFile::link(QString::fromLocal8Bit(ptsname(master_)), link));
    }

    QByteArray readMaster(int count)
    {
        QByteArray out;
        while (out.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0)
                break;
            char buf[64];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }
    void cleanup()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    void bytesGoOutAndComeIn()
    {
        attach();
        QtSerialService port;
        QVERIFY(!port.write(" 2")); // closed: refused, not a crash
        QVERIFY(port.open(7));
        QVERIFY(port.write(QByteArray("\x20\x34\x00", 3)));
        QVERIFY(port.write(QByteArray("\x20\x32")));
        port.discardOutput(); // must not swallow what was written
        QCOMPARE(readMaster(5), QByteArray("\x20\x34\x00\x20\x32", 5));

        QSignalSpy ready(&port, &SerialService::readyRead);
        QCOMPARE(::write(master_, "\x01\x02\xff", 3), 3);
        QTRY_VERIFY(ready.count() >= 1);
        QCOMPARE(port.bytesAvailable(), 3);
        QCOMPARE(port.read(3), QByteArray("\x01\x02\xff"));

        QCOMPARE(::write(master_, "\x05\x06", 2), 2);
        QTRY_COMPARE(port.bytesAvailable(), 2);
        port.discardInput();
        QCOMPARE(port.bytesAvailable(), 0);
        QVERIFY(!port.open(8)); // nothing there
        QVERIFY(!port.isOpen());
    }

    void aTrickleOfBytesIsHandedOnInBatches()
    {
        attach();
        QtSerialService port;
        QVERIFY(port.open(7));
        QSignalSpy ready(&port, &SerialService::readyRead);
        QByteArray got;
        connect(&port, &SerialService::readyRead, this, [&] { got += port.read(4096); });
        QByteArray sent;
        for (int i = 0; i < 60; ++i) {
            const char b = char(i);
            QCOMPARE(::write(master_, &b, 1), 1);
            sent += b;
            QTest::qWait(1);
        }
        QTRY_COMPARE(got, sent);
        // One wake-up per collected batch, not one per byte.
        QVERIFY2(ready.count() <= 30, qPrintable(QString::number(ready.count())));
    }

    void vanishingDeviceClosesThePortOnce()
    {
        attach();
        QtSerialService port;
        QVERIFY(port.open(7));
        QSignalSpy failed(&port, &SerialService::failed);
        ::close(master_);
        master_ = -1;
        QTRY_COMPARE(failed.count(), 1);
        QVERIFY(!port.isOpen());
        QTest::qWait(200);
        QCOMPARE(failed.count(), 1);
        QVERIFY(!port.write(" 3"));
    }
};

QTEST_GUILESS_MAIN(QtSerialTest)
#include "tst_qtserial.moc"
