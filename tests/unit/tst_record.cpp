#include "WorkingFolder.h"
#include "acquire/RecordFormat.h"
#include "acquire/RecordIndex.h"
#include "acquire/RecordWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <array>

#ifdef PULSE_POSIX_TESTS
#include <csignal>
#include <sys/resource.h>
#endif

class RecordTest : public QObject
{
    Q_OBJECT

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    static QStringList files(const QTemporaryDir &dir)
    {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    }

    static RecordIndex::Entry facts()
    {
        RecordIndex::Entry e;
        e.rateHz = 300;
        e.gain = 4;
        e.baseline = 2;
        e.port = QStringLiteral("COM3");
        e.device = QStringLiteral("/dev/pts/7");
        return e;
    }

    // A sweep fed `count` samples valued i * 7 + 3.
    static Sweep fed(int count)
    {
        Sweep sweep;
        for (int i = 0; i < count; ++i)
            sweep.take(std::uint8_t(i * 7 + 3));
        return sweep;
    }

public:
    // A second copy of the program, as far as the folder can tell: saves
    // records 1..count, each with bytes of its own.
    static int saveMany(const QString &folder, int copy, int count)
    {
        RecordWriter writer;
        for (int n = 1; n <= count; ++n) {
            // Which copy and which save, in the record's first entries (the
            // buffer's entry 0 is not saved): every record's bytes differ.
            Sweep sweep;
            for (const int sample : {0, copy, n})
                sweep.take(std::uint8_t(sample));
            RecordIndex::Entry e = facts();
            e.port = QString::number(QCoreApplication::applicationPid());
            const RecordWriter::Saved saved = writer.save(folder, n, sweep, e);
            if (!saved.record || !saved.indexLine)
                return 1;
        }
        return 0;
    }

private slots:
    void offsetKHoldsEntryKPlusOneAndTheIndexSaysHow()
    {
        QTemporaryDir dir;
        RecordWriter writer;
        const Sweep sweep = fed(1146 + 100); // the first sweep whole, then 100 of the second
        const RecordWriter::Saved saved = writer.save(dir.path(), 1, sweep, facts());
        QVERIFY(saved.record && saved.indexLine && saved.backup.isEmpty());
        const QByteArray bytes = fileBytes(dir.filePath("1"));
        QCOMPARE(bytes.size(), 1146);
        for (int k = 0; k < bytes.size(); ++k)
            QCOMPARE(std::uint8_t(bytes[k]), sweep.sampleBuffer()[size_t(k) + 1]);

        const QList<QByteArray> lines = fileBytes(dir.filePath(RecordIndex::FileName)).split('\n');
        QCOMPARE(lines.size(), 3); // header, one line, nothing after the last newline
        QCOMPARE(lines[0] + '\n', RecordIndex::header());
        const auto e = RecordIndex::parse(lines[1]);
        QVERIFY(e);
        QCOMPARE(e->name, QStringLiteral("1"));
        QCOMPARE(std::tuple(e->rateHz, e->gain, e->baseline, e->port, e->device),
                 std::tuple(300, 4, 2, QStringLiteral("COM3"), QStringLiteral("/dev/pts/7")));
        QCOMPARE(std::pair(e->sampleIndex, e->previousSweepEnd), std::pair(100, 1145));
        QVERIFY(qAbs(e->savedAt.secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(e->savedAt.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
        QCOMPARE(RecordIndex::line(*e), lines[1] + '\n');
        QVERIFY(QString::fromUtf8(lines[1].split('\t')[1])
                    .contains(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$")));
        QCOMPARE(RecordIndex::find(dir.filePath("1"), bytes).entry.sampleIndex, 100);
    }

    void theLayoutFollowsTheSweep()
    {
        // Samples fed, then the layout: the previous sweep from entry S (offset
        // S - 1) to its last entry, then the sweep in progress from entry 1
        // (offset 0). In turn: the first sweep, nothing before it; the second,
        // the first ending at entry 1145; the third, entry 1145 stale; just
        // wrapped, the previous sweep but its entry 0; one sample in, only
        // entry 0, never saved.
        const std::array<int, 4> cases[] = {{500, 499, 0, 499},
                                            {1146 + 300, 299, 846, 299},
                                            {1146 + 1145 + 300, 299, 845, 299},
                                            {1146, 0, 1145, 0},
                                            {1147, 0, 1145, 0}};
        for (const auto &[count, previousFirst, previousCount, currentCount] : cases) {
            const Sweep sweep = fed(count);
            const RecordFormat::Layout l = RecordFormat::layout(sweep.sampleIndex(), sweep.previousSweepEnd());
            QCOMPARE(std::tuple(l.previousFirst, l.previousCount, l.currentCount),
                     std::tuple(previousFirst, previousCount, currentCount));
            QCOMPARE(l.gap(), l.previousCount > 0 && l.currentCount > 0);
            // What the layout names as the previous sweep's last sample really
            // is the sample taken just before the sweep in progress began.
            if (l.gap()) {
                const int entry0 = count - sweep.sampleIndex();
                QCOMPARE(sweep.sampleBuffer()[size_t(l.previousFirst + l.previousCount)],
                         std::uint8_t((entry0 - 1) * 7 + 3));
            }
        }
    }

    void anEarlierFileIsKeptAsTheNextNumberedBackup()
    {
        QTemporaryDir dir;
        const QByteArray earlier(2000, '\x55');
        writeFile(dir.filePath("1"), earlier);
        writeFile(dir.filePath("1.~3~"), "older");
        writeFile(dir.filePath("1.~x~"), "not a backup number");
        RecordWriter firstRun;
        const Sweep sweep = fed(50);
        QCOMPARE(firstRun.save(dir.path(), 1, sweep, facts()).backup, QStringLiteral("1.~4~"));
        QCOMPARE(fileBytes(dir.filePath("1.~4~")), earlier);
        QCOMPARE(fileBytes(dir.filePath("1")), RecordFormat::bytes(sweep.sampleBuffer()));
        // A file this run wrote is simply replaced.
        QVERIFY(firstRun.save(dir.path(), 1, fed(60), facts()).backup.isEmpty());
        // The next launch keeps it.
        RecordWriter secondRun;
        QCOMPARE(secondRun.save(dir.path(), 1, fed(70), facts()).backup, QStringLiteral("1.~5~"));
        QCOMPARE(fileBytes(dir.filePath("1.~5~")), RecordFormat::bytes(fed(60).sampleBuffer()));
        QCOMPARE(files(dir), (QStringList {"1", "1.~3~", "1.~4~", "1.~5~", "1.~x~", RecordIndex::FileName}));

        // Each line still finds its record, the backups by their content.
        QCOMPARE(fileBytes(dir.filePath(RecordIndex::FileName)).count('\n'), 4);
        const auto found = RecordIndex::find(dir.filePath("1.~5~"), fileBytes(dir.filePath("1.~5~")));
        QCOMPARE(found.status, RecordIndex::Lookup::Found);
        QCOMPARE(found.entry.sampleIndex, 60);
        QCOMPARE(RecordIndex::find(dir.filePath("1"), fileBytes(dir.filePath("1"))).entry.sampleIndex, 70);
        QCOMPARE(RecordIndex::find(dir.filePath("1.~3~"), "older").status, RecordIndex::Lookup::NoLine);
    }

    void aFullDiskLeavesTheEarlierRecordAlone()
    {
#ifndef PULSE_POSIX_TESTS
        QSKIP("a full disk is imitated with a POSIX file-size limit");
#else
        QTemporaryDir dir;
        const QString path = dir.filePath("1");
        const QByteArray earlier(2000, '\x42');
        writeFile(path, earlier);
        // A file-size limit makes every write past 100 bytes fail, as a full
        // disk does, and only when the buffered bytes are flushed.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit tight = old;
        tight.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        RecordWriter writer;
        const RecordWriter::Saved saved = writer.save(dir.path(), 1, Sweep {}, facts());
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved.record);
        QCOMPARE(saved.problem, FileProblem::DiskFull);
        // No backup either: the earlier file stays under its own name.
        QCOMPARE(fileBytes(path), earlier);
        QCOMPARE(files(dir), QStringList {"1"});
#endif
    }

    void aFolderThatIsAFileLeavesNothingBehind()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("plain"), {});
        const RecordWriter::Saved saved = RecordWriter().save(dir.filePath("plain"), 2, Sweep {}, facts());
        QVERIFY(!saved.record && saved.problem != FileProblem::None);
        QCOMPARE(files(dir), QStringList {"plain"});
    }

    void copiesSavingIntoOneFolderAtOnceLoseNothing()
    {
        QTemporaryDir dir;
        constexpr int copies = 4, saves = 25;
        std::vector<std::unique_ptr<QProcess>> running;
        for (int c = 0; c < copies; ++c) {
            running.push_back(std::make_unique<QProcess>());
            running.back()->start(QCoreApplication::applicationFilePath(),
                                  {"--save-many", dir.path(), QString::number(c), QString::number(saves)});
        }
        for (const auto &p : running) {
            QVERIFY(p->waitForFinished(60000));
            QCOMPARE(p->exitCode(), 0);
        }
        // Every save is a whole file, a record or a backup, with its own line.
        QSet<QByteArray> onDisk;
        for (const QString &name : files(dir)) {
            if (name == RecordIndex::FileName)
                continue;
            const QByteArray bytes = fileBytes(dir.filePath(name));
            QCOMPARE(bytes.size(), 1146);
            onDisk << RecordIndex::digest(bytes);
        }
        QCOMPARE(onDisk.size(), copies * saves);
        const QList<QByteArray> lines = fileBytes(dir.filePath(RecordIndex::FileName)).split('\n');
        QCOMPARE(lines.size(), 1 + copies * saves + 1); // header, lines, the empty tail
        QSet<QByteArray> indexed;
        for (const QByteArray &line : lines.mid(1, copies * saves))
            indexed << RecordIndex::parse(line).value().digest;
        QCOMPARE(indexed, onDisk);
        QVERIFY(!QFile::exists(dir.filePath(RecordWriter::LockFileName)));
    }

    void indexLinesThatDoNotFit()
    {
        QTemporaryDir dir;
        RecordWriter writer;
        QVERIFY(writer.save(dir.path(), 1, fed(10), facts()).indexLine);
        const QByteArray record = fileBytes(dir.filePath("1"));
        QByteArray index = fileBytes(dir.filePath(RecordIndex::FileName));
        // Changed after it was saved: its line no longer describes it.
        QCOMPARE(RecordIndex::find(dir.filePath("1"), record.left(1145) + 'x').status, RecordIndex::Lookup::NoLine);
        // A broken line of that name is reported with its number.
        writeFile(dir.filePath(RecordIndex::FileName), RecordIndex::header() + "1\t2024-01-01\tfast\n");
        const auto broken = RecordIndex::find(dir.filePath("1"), record);
        QCOMPARE(std::pair(broken.status, broken.lineNumber), std::pair(RecordIndex::Lookup::Malformed, 2));
        // Appending to an index without a final newline starts a line of its own.
        writeFile(dir.filePath(RecordIndex::FileName), index.chopped(1));
        QVERIFY(writer.save(dir.path(), 2, fed(20), facts()).indexLine);
        QCOMPARE(RecordIndex::find(dir.filePath("1"), record).status, RecordIndex::Lookup::Found);
        QCOMPARE(fileBytes(dir.filePath(RecordIndex::FileName)).count('\n'), 3);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--save-many") == 0)
        return RecordTest::saveMany(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                                    QByteArray(argv[4]).toInt());
    RecordTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_record.moc"
