#include "acquire/RecordWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

class RecordTest : public QObject
{
    Q_OBJECT

    static QByteArray readAll(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void offsetKHoldsEntryKPlusOne()
    {
        QTemporaryDir dir;
        Sweep::Buffer buffer{};
        for (size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = std::uint8_t(i * 7 + 3);
        const QString path = dir.filePath(RecordWriter::fileName(1));
        QVERIFY(RecordWriter::save(path, buffer));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.size(), 1146);
        for (int k = 0; k < bytes.size(); ++k)
            QCOMPARE(std::uint8_t(bytes[k]), buffer[size_t(k) + 1]);
    }

    void aLongerOldFileIsReplacedWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("1");
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(2000, '\x55'));
        old.close();
        QVERIFY(RecordWriter::save(path, Sweep::Buffer{}));
        QCOMPARE(readAll(path), QByteArray(1146, '\0'));
        // No temporary file is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"1"});
    }

    void aFullDiskLeavesTheEarlierRecordAlone()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("1");
        const QByteArray earlier(2000, '\x42');
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(earlier);
        }
        // A file-size limit makes every write past 100 bytes fail, as a full
        // disk does, and only when the buffered bytes are flushed.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        QString reason;
        const bool saved = RecordWriter::save(path, Sweep::Buffer{}, &reason);
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QCOMPARE(reason, QStringLiteral("写入失败，磁盘可能已满"));
        QCOMPARE(readAll(path), earlier);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"1"});
    }

    void failuresLeaveNothingBehindAndSayWhy()
    {
        QTemporaryDir dir;
        QString reason;
        // A folder of the record's name.
        QVERIFY(QDir(dir.path()).mkdir("1"));
        QVERIFY(!RecordWriter::save(dir.filePath("1"), Sweep::Buffer{}, &reason));
        QCOMPARE(reason, QStringLiteral("已有同名的文件夹"));
        QVERIFY(QFileInfo(dir.filePath("1")).isDir());
        // A working "directory" that is really a file: nothing can be created.
        QFile blocker(dir.filePath("plain"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        reason.clear();
        QVERIFY(!RecordWriter::save(dir.filePath("plain/2"), Sweep::Buffer{}, &reason));
        QVERIFY(!reason.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"plain"});
    }
};

QTEST_GUILESS_MAIN(RecordTest)
#include "tst_record.moc"
