#include "acquire/RecordWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
