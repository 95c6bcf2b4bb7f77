#include "app/Texts.h"
#include "link/PortDirectory.h"
#include "link/SerialNumber.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class LinkTest : public QObject
{
    Q_OBJECT
    QTemporaryDir runtime_;

private slots:
    void initTestCase()
    {
        QVERIFY(runtime_.isValid());
        QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit());
    }

#ifdef Q_OS_WIN
    void windowsPortsAreTheSystemsOwn()
    {
        QCOMPARE(PortDirectory::folder(), QString());
        for (const int n : {1, 5, 16}) {
            const QString name = QStringLiteral("COM%1").arg(n);
            QCOMPARE(PortDirectory::portName(n), name);
            QCOMPARE(PortDirectory::defaultDevice(n), name);
            QCOMPARE(PortDirectory::resolve(n), name);
            QCOMPARE(PortDirectory::device(n), name);
        }
        // Only the system's port list says a COM port is there.
        QCOMPARE(Texts::portToolTip(PortDirectory::describe(3, {})), QStringLiteral("COM3：未连接"));
    }
#else
    void defaultTableWithoutAFolderEntry()
    {
        QCOMPARE(PortDirectory::portName(1), QStringLiteral("COM1"));
        QCOMPARE(PortDirectory::portName(16), QStringLiteral("COM16"));
        const QList<QPair<int, QString>> table = {
            {1, "/dev/ttyS0"},    {4, "/dev/ttyS3"},    {5, "/dev/ttyUSB0"},
            {12, "/dev/ttyUSB7"}, {13, "/dev/ttyACM0"}, {16, "/dev/ttyACM3"},
        };
        for (const auto &[n, device] : table) {
            QCOMPARE(PortDirectory::defaultDevice(n), device);
            QCOMPARE(PortDirectory::resolve(n), device);
        }
    }

    void folderEntryWinsAndIsDescribedByItsTargetAndPresence()
    {
        const QString folder = PortDirectory::folder();
        QCOMPARE(folder, runtime_.path() + "/pulse-demo/ports");
        QVERIFY(QDir().mkpath(folder));
        const QString link = folder + "/COM3";
        QVERIFY(QFile::link("/dev/pts/77", link)); // dangling on purpose
        QCOMPARE(PortDirectory::resolve(3), link);
        QCOMPARE(PortDirectory::device(3), QStringLiteral("/dev/pts/77"));
        QCOMPARE(Texts::portToolTip(PortDirectory::describe(3, {})), QStringLiteral("/dev/pts/77：未连接"));
        QVERIFY(QFile::link("/dev/null", folder + "/COM5"));
        QCOMPARE(Texts::portToolTip(PortDirectory::describe(5, {})), QStringLiteral("/dev/null：已连接"));
        QCOMPARE(PortDirectory::resolve(4), QStringLiteral("/dev/ttyS3"));
        // A node of the built-in table is there only if the system lists it.
        QCOMPARE(Texts::portToolTip(PortDirectory::describe(4, {})), QStringLiteral("/dev/ttyS3：未连接"));
        QFile::remove(link);
        QFile::remove(folder + "/COM5");
        QCOMPARE(PortDirectory::resolve(3), QStringLiteral("/dev/ttyS2"));
    }
#endif

    void serialNumberDigits_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::newRow("digits") << QByteArray("\xAA\xBB\x01\x02\x03\x04") << "1234";
        QTest::newRow("value 10 is a colon") << QByteArray("\x00\x00\x0A\x00\x09\x00", 6) << ":090";
        QTest::newRow("largest single-byte code")
            << QByteArray("\x00\x00\xCF\x00\x00\x00", 6) << QString(QChar(255)) + "000";
        QTest::newRow("past 255 shows ?") << QByteArray("\x00\x00\xD0\xFF\x05\x06", 6) << "??56";
    }
    void serialNumberDigits()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        QCOMPARE(SerialNumber::digitsText(reply), shown);
    }
};

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_link.moc"
