#include "FakeSerialService.h"
#include "app/CaptionLabel.h"
#include "app/MainWindow.h"
#include "app/Texts.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The window with its warning boxes and its ending recorded instead of shown.
class TestWindow : public MainWindow
{
public:
    explicit TestWindow(FakeSerialService *&fake)
        : MainWindow(std::unique_ptr<SerialService>(fake = new FakeSerialService))
    { }
    QStringList warnings;
    bool warnedBusy = false; // a warning box under the busy cursor
    bool ended = false;

protected:
    void showWarning(const QString &text) override
    {
        warnings << text;
        warnedBusy |= QGuiApplication::overrideCursor() != nullptr;
    }
    void endProgram() override { ended = true; }
};

const QStringList PortInitLog = {
    "pause init", "write 20 34 00", "pause init", "write 20 35 00", "pause init", "write 20 37 00",
};

QStringList commandLog(const QString &command, const QString &parameter)
{
    return {"write 20 33", "pause busy",  "write " + command, "write " + parameter,
            "pause busy",  "write 20 32", "discard in",       "discard out"};
}

// Counts the paint events a widget receives.
class PaintCount : public QObject
{
public:
    explicit PaintCount(QWidget *widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

QByteArray ramp(int count, int first = 0)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += char((first + i) % 256);
    return out;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

    FakeSerialService *fake = nullptr;
    std::unique_ptr<TestWindow> w;
    QTemporaryDir workDir;
    QString startDir;

    template <typename T> T *child(const char *name)
    {
        T *c = w->findChild<T *>(QString::fromLatin1(name));
        if (!c)
            qFatal("no control %s", name);
        return c;
    }
    QRadioButton *option(int n) { return child<QRadioButton>(qPrintable(QStringLiteral("Option%1").arg(n))); }
    QString label7() { return child<CaptionLabel>("Label7")->caption(); }
    QString text1() { return child<QLineEdit>("Text1")->text(); }

    void openPort(int number = 1)
    {
        w->selectPort(number - 1);
        QVERIFY(fake->isOpen());
        fake->takeLog();
    }
    void feed(const QByteArray &bytes)
    {
        fake->feed(bytes);
        w->drainInput(); // what the batch timer does a few ms later
    }
    void clickText1()
    {
        QLineEdit *box = child<QLineEdit>("Text1");
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    }
    static QByteArray record(const QString &name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(workDir.isValid());
        startDir = QDir::currentPath();
    }
    void init()
    {
        w = std::make_unique<TestWindow>(fake);
        QDir(workDir.path()).removeRecursively();
        QDir().mkpath(workDir.path());
        QDir::setCurrent(workDir.path());
    }
    void cleanup()
    {
        w.reset();
        QDir::setCurrent(startDir);
    }

    // --- Start-up and layout ---

    void startUpState()
    {
        auto *combo = child<QComboBox>("Combo1");
        QCOMPARE(combo->count(), 16);
        for (int i = 0; i < 16; ++i)
            QCOMPARE(combo->itemText(i), QStringLiteral("COM%1").arg(i + 1));
        QVERIFY(combo->currentText().isEmpty());
        QCOMPARE(label7(), QStringLiteral("0"));
        QVERIFY(text1().isEmpty());
        QVERIFY(option(1)->isChecked());
        QVERIFY(option(9)->isChecked());
        for (int n : {2, 3, 4, 5, 6, 7, 8, 10, 15})
            QVERIFY(!option(n)->isChecked());
        QVERIFY(fake->log.isEmpty());
        QCOMPARE(w->fileNumber(), 1);
        QCOMPARE(w->portNumber(), 1);
        QCOMPARE(w->windowTitle(), QStringLiteral("脉搏数字传感器采样演示"));
        QCOMPARE(option(4)->text(), QStringLiteral("500hz"));
    }

    void instructionsCaption()
    {
        const QString caption = child<CaptionLabel>("Label1")->caption();
        QCOMPARE(caption.size(), 152);
        QCOMPARE(caption.count(QChar(u'\r')), 5);
        QVERIFY(!caption.contains(QChar(u'\n')));
        QVERIFY(caption.startsWith(QStringLiteral("采样测试提示：\r    1、")));
        // Shown as six lines.
        QCOMPARE(child<QLabel>("Label1")->text().split(QChar(u'\n')).size(), 6);
        const QString prompt = child<CaptionLabel>("Label14")->caption();
        QVERIFY(prompt.startsWith(QStringLiteral("  请")) && prompt.endsWith(QString(14, QChar(u' '))));
    }

    void layoutInPixelsAndFixedOnResize()
    {
        QCOMPARE(w->size(), QSize(682, 477));
        const QList<QPair<const char *, QRect>> expected = {
            {"Label1", QRect(8, 8, 537, 113)},     {"Combo1", QRect(552, 88, 113, 27)},
            {"Picture1", QRect(8, 136, 665, 177)}, {"Command1", QRect(504, 424, 57, 33)},
            {"Command5", QRect(560, 424, 57, 33)}, {"Command4", QRect(616, 424, 57, 33)},
            {"Option15", QRect(368, 32, 41, 33)},  {"Text1", QRect(8, 16, 137, 25)},
            {"Command3", QRect(8, 80, 41, 41)},
        };
        for (const auto &[name, rect] : expected)
            QCOMPARE(child<QWidget>(name)->geometry(), rect);
        w->resize(300, 200);
        w->resize(900, 700);
        for (const auto &[name, rect] : expected)
            QCOMPARE(child<QWidget>(name)->geometry(), rect);
    }

    void tabFollowsTheLayoutOrderAndEntersEachGroupAtItsSelectedOption()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QCOMPARE(w->focusWidget(), child<QWidget>("Command5"));
        const auto tabsFrom = [this](const char *from, const QStringList &order) {
            child<QWidget>(from)->setFocus();
            for (const QString &name : order) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QWidget *at = QApplication::focusWidget();
                QCOMPARE(at->objectName().isEmpty() ? at->parentWidget()->objectName() : at->objectName(), name);
            }
        };
        tabsFrom("Command5",
                 {"Command4", "Command3", "Command2", "Option1", "Option9", "Text1", "Combo1", "Command1", "Command5"});
        option(14)->setChecked(true); // 9x comes later in the order than 4x
        option(3)->setChecked(true);
        tabsFrom("Command2", {"Option3", "Text1", "Combo1", "Option14", "Command1"});
    }

    // --- Port selection ---

    void aPickFromTheListRunsOnceTheWindowIsRepainted()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto *combo = child<QComboBox>("Combo1");
        auto *surface = child<QWidget>("Picture1");
        PaintCount paints(surface);
        QList<int> cursors;
        int paintedBeforeWriting = -1;
        fake->onWrite = [&](const QByteArray &) {
            const QCursor *c = QGuiApplication::overrideCursor();
            cursors << (c ? c->shape() : -1);
            if (paintedBeforeWriting < 0)
                paintedBeforeWriting = paints.count;
        };
        surface->update(); // as where the list was
        emit combo->activated(0);
        QCOMPARE(fake->takeLog(), QStringList {"open 1"} + PortInitLog);
        QVERIFY(paintedBeforeWriting > 0);
        QTest::mouseClick(option(15), Qt::LeftButton);
        QCOMPARE(fake->takeLog(), commandLog("20 34", "09"));
        QCOMPARE(cursors, QList<int>(cursors.size(), Qt::WaitCursor));
        QCOMPARE(cursors.size(), 7);
        QVERIFY(!QGuiApplication::overrideCursor());
        emit combo->activated(1);
        QCOMPARE(fake->takeLog(), QStringList({"close", "open 2"}) + PortInitLog);
    }

    void portSelectionSendsTheInitialCommandsEveryTime()
    {
        w->selectPort(2);
        QCOMPARE(fake->takeLog(), QStringList {"open 3"} + PortInitLog);
        QCOMPARE(w->portNumber(), 3);
        w->selectPort(2);
        QCOMPARE(fake->takeLog(), QStringList({"close", "open 3"}) + PortInitLog);
        QVERIFY(w->warnings.isEmpty());
    }

    void absentPortWarnsThenAnotherPickWorks()
    {
        fake->absentPorts = {3};
        w->selectPort(2);
        // The text as it always was, and the service's reason on a line below.
        QCOMPARE(w->warnings,
                 QStringList {"端口选择错误 ！\r\r      系统不存在此端口号，请检查后重选  \r      原因：absent"});
        QCOMPARE(fake->takeLog(), QStringList {"open 3"});
        QCOMPARE(w->portNumber(), 3); // kept, although the port stayed closed
        QVERIFY(!fake->isOpen());
        w->selectPort(0);
        QCOMPARE(fake->takeLog(), QStringList {"open 1"} + PortInitLog);
        QCOMPARE(w->warnings.size(), 1);
        QVERIFY(!w->warnedBusy);
    }

    void afterAPickTheControlsShowTheSensorsState()
    {
        openPort();
        option(10)->click(); // 5x
        child<QPushButton>("Command2")->click();
        child<QPushButton>("Command2")->click();
        option(3)->click(); // 400Hz
        QCOMPARE(label7(), QStringLiteral("2"));
        w->selectPort(0);
        QVERIFY(option(6)->isChecked()); // 1x
        QVERIFY(option(1)->isChecked()); // 200Hz
        QCOMPARE(w->baselineLevel(), 0);
        QCOMPARE(label7(), QStringLiteral("0"));
        // Nothing beyond the three initial commands was sent for it.
        QCOMPARE(fake->log.mid(fake->log.lastIndexOf("open 1")), QStringList {"open 1"} + PortInitLog);
    }

    // --- Port closed or lost ---

    void everyControlWarnsWhileThePortIsClosed()
    {
        const QString closed = Texts::PortNotOpen;
        w->start();
        option(15)->click();
        option(2)->click();
        child<QPushButton>("Command2")->click();
        child<QPushButton>("Command3")->click();
        clickText1();
        QCOMPARE(w->warnings, QStringList(6, closed));
        QVERIFY(fake->log.isEmpty());
        QVERIFY(!w->acquiring());
        QCOMPARE(w->baselineLevel(), 0);
        QCOMPARE(label7(), QStringLiteral("0"));
        QCOMPARE(w->pendingSerialQueries(), 0);
    }

    void lostPortWarnsOnceAndAPickContinuesTheSweep()
    {
        openPort();
        w->start();
        feed(ramp(100));
        const int x = w->acquisition().sweep().plotX();
        fake->unplug();
        fake->unplug();
        QTRY_COMPARE(w->warnings, QStringList {Texts::PortLost});
        QVERIFY(w->acquiring());
        w->selectPort(0);
        feed(ramp(10));
        QCOMPARE(w->acquisition().sweep().plotX(), x + 90);
        QCOMPARE(w->warnings.size(), 1);
    }

    // --- Acquisition ---

    void startTakesWaitingBytesFirstAndPlotsEverySample()
    {
        openPort();
        fake->input = ramp(5, 1); // arrived before Start
        w->start();
        QCOMPARE(fake->takeLog(), QStringList {"write 20 32"});
        QCOMPARE(w->acquisition().sweep().sampleIndex(), 5);
        feed(ramp(1141, 6));
        QCOMPARE(w->acquisition().sweep().sampleIndex(), 0); // wrapped after 1146
        QCOMPARE(w->acquisition().sweep().sampleBuffer()[1145], std::uint8_t(1146 % 256));
        QCOMPARE(w->acquisition().sweep().plotX(), -291);
    }

    void batchedBytesArriveWithoutExplicitDrain()
    {
        openPort();
        w->start();
        fake->feed(ramp(3));
        QTRY_COMPARE(w->acquisition().sweep().sampleIndex(), 3);
    }

    void secondStartRestartsTheIndexAtThePen()
    {
        openPort();
        w->start();
        feed(ramp(589));
        QCOMPARE(w->acquisition().sweep().plotX(), 5001);
        w->start();
        feed(QByteArray(1, char(77)));
        QCOMPARE(w->acquisition().sweep().sampleBuffer()[0], 77);
        QCOMPARE(w->acquisition().sweep().plotX(), 5010);
    }

    // --- Parameters ---

    void gainAndRateSendTheFullSequence()
    {
        openPort();
        option(15)->click();
        QCOMPARE(fake->takeLog(), commandLog("20 34", "09"));
        option(5)->click();
        QCOMPARE(fake->takeLog(), commandLog("20 37", "04"));
        option(6)->click();
        QCOMPARE(fake->takeLog(), commandLog("20 34", "00"));
    }

    void baselineWrapsBothWays()
    {
        openPort();
        auto *up = child<QPushButton>("Command2");
        for (int expected : {1, 2, 3, 4, 5}) {
            up->click();
            QCOMPARE(label7(), QString::number(expected));
            QCOMPARE(fake->takeLog(), commandLog("20 35", QStringLiteral("0%1").arg(expected)));
        }
        up->click();
        QCOMPARE(label7(), QStringLiteral("0"));
        QCOMPARE(fake->takeLog(), commandLog("20 35", "00"));
        child<QPushButton>("Command3")->click();
        QCOMPARE(label7(), QStringLiteral("5"));
        QCOMPARE(fake->takeLog(), commandLog("20 35", "05"));
    }

    void aChangeCutShortByALostPortKeepsTheLevelShown()
    {
        openPort();
        fake->failWriteAfter = 2; // the stop and the command go out, the parameter fails
        child<QPushButton>("Command2")->click();
        QCOMPARE(fake->takeLog(), QStringList({"write 20 33", "pause busy", "write 20 35", "failed"}));
        QCOMPARE(label7(), QStringLiteral("0"));
        QCOMPARE(w->baselineLevel(), 0);
        QTRY_COMPARE(w->warnings, QStringList {Texts::PortLost});
    }

    void labelChangesOnlyAfterTheSequence()
    {
        openPort();
        QString seen;
        fake->onWrite = [&](const QByteArray &bytes) {
            if (bytes == "\x20\x32")
                seen = label7();
        };
        child<QPushButton>("Command2")->click();
        QCOMPARE(seen, QStringLiteral("0"));
        QCOMPARE(label7(), QStringLiteral("1"));
    }

    void parameterChangeDiscardsInputAndPlottingGoesOn()
    {
        openPort();
        w->start();
        feed(ramp(20));
        w->stop();
        fake->input = ramp(50); // sent before the sensor obeyed, never read
        option(8)->click();
        QVERIFY(fake->input.isEmpty());
        feed(ramp(4));
        QCOMPARE(w->acquisition().sweep().sampleIndex(), 24);
    }

    // --- Stop and records ---

    void stopSendsFirstThenSavesNumberedRecords()
    {
        openPort();
        bool existedAtWrite = true;
        fake->onWrite = [&](const QByteArray &) { existedAtWrite = QFile::exists("1"); };
        w->stop();
        QCOMPARE(fake->takeLog(), QStringList {"write 20 33"});
        QVERIFY(!existedAtWrite);
        fake->onWrite = nullptr;
        QCOMPARE(record("1"), QByteArray(1146, '\0'));
        w->stop();
        w->stop();
        QCOMPARE(record("2"), record("1"));
        QVERIFY(QFile::exists("3"));
        QCOMPARE(w->fileNumber(), 4);
        QVERIFY(w->warnings.isEmpty());
    }

    void recordHoldsEntriesOneTo1146()
    {
        openPort();
        w->start();
        QByteArray sweep1;
        for (int i = 0; i < 1146; ++i)
            sweep1 += char(i % 250 + 1);
        feed(sweep1);
        w->stop();
        QCOMPARE(record("1"), sweep1.mid(1) + QByteArray(1, '\0'));
        // A later sweep overwrites entries 0..1144 only.
        QByteArray sweep2(1145, '\x11');
        feed(sweep2);
        w->stop();
        QCOMPARE(record("2"), sweep2.mid(1) + sweep1.mid(1145, 1) + QByteArray(1, '\0'));
        // Stop does not end acquisition.
        QVERIFY(w->acquiring());
    }

    void failedSaveKeepsTheNumber()
    {
        openPort();
        QVERIFY(QDir().mkdir("1"));
        w->stop();
        QCOMPARE(w->fileNumber(), 1);
        QCOMPARE(w->warnings.size(), 1);
        QVERIFY(w->warnings[0].contains(QStringLiteral("“1”")));
        QVERIFY(w->warnings[0].contains(QStringLiteral("已有同名的文件夹")));
        QVERIFY(QDir().rmdir("1"));
        w->stop();
        QCOMPARE(record("1").size(), 1146);
        QCOMPARE(w->fileNumber(), 2);
    }

    void stopWithThePortGoneStillSaves()
    {
        openPort();
        w->start();
        feed(ramp(30, 1));
        fake->unplug();
        QTRY_COMPARE(w->warnings.size(), 1);
        w->stop();
        QCOMPARE(w->warnings.size(), 2);
        QCOMPARE(w->warnings[1], Texts::StopWithoutPort.arg("1"));
        QCOMPARE(record("1").left(29), ramp(29, 2));
        QCOMPARE(w->fileNumber(), 2);
    }

    // --- Serial number ---

    void serialNumberQuery()
    {
        openPort();
        fake->input = "\x07\x08"; // before the click: never shown
        clickText1();
        QCOMPARE(fake->takeLog(), QStringList({"discard in", "write 20 31"}));
        feed(QByteArray("\xAA\xBB\x01\x02\x03", 5));
        QVERIFY(text1().isEmpty());
        QCOMPARE(w->pendingSerialQueries(), 1);
        feed(QByteArray("\x04"));
        QCOMPARE(text1(), QStringLiteral("1234"));
        QCOMPARE(w->pendingSerialQueries(), 0);
    }

    void queryDuringAcquisitionThenAcquisitionResumes()
    {
        openPort();
        w->start();
        feed(ramp(10));
        clickText1();
        feed(QByteArray("\x00\x00\x02\x04\x06\x08\x63\x64", 8));
        QCOMPARE(text1(), QStringLiteral("2468"));
        QCOMPARE(w->acquisition().sweep().sampleIndex(), 12);
        QCOMPARE(w->acquisition().sweep().sampleBuffer()[10], 0x63);
        QCOMPARE(w->acquisition().sweep().sampleBuffer()[11], 0x64);
    }

    void startAbandonsAWaitingQuery()
    {
        openPort();
        clickText1();
        feed(QByteArray("\x00\x00\x01", 3));
        w->start();
        QCOMPARE(w->pendingSerialQueries(), 0);
        feed(QByteArray("\x02\x03\x04", 3));
        QVERIFY(text1().isEmpty());
        QCOMPARE(w->acquisition().sweep().sampleIndex(), 6);
    }

    void parameterChangeWhileWaitingDiscardsAndKeepsWaiting()
    {
        openPort();
        clickText1();
        feed(QByteArray("\x00\x00\x09", 3));
        option(7)->click();
        QCOMPARE(w->pendingSerialQueries(), 1);
        feed(QByteArray("\x00\x00\x05\x06\x07\x08", 6));
        QCOMPARE(text1(), QStringLiteral("5678"));
    }

    void secondClickCompletesFirstThenTheEarlierWaitsForSixMore()
    {
        openPort();
        clickText1();
        clickText1();
        QCOMPARE(w->pendingSerialQueries(), 2);
        feed(QByteArray("\x00\x00\x01\x02\x03\x04", 6));
        QCOMPARE(text1(), QStringLiteral("1234"));
        feed(QByteArray("\x00\x00\x05\x06\x07", 5));
        QCOMPARE(w->pendingSerialQueries(), 1);
        feed(QByteArray("\x08"));
        QCOMPARE(text1(), QStringLiteral("12345678"));
    }

    // --- Exit ---

    void exitClosesThePortAndSendsNothing()
    {
        openPort();
        w->start();
        fake->takeLog();
        child<QPushButton>("Command4")->click();
        QVERIFY(w->ended);
        QCOMPARE(fake->takeLog(), QStringList {"close"});
        QVERIFY(QDir().entryList(QDir::Files).isEmpty());
    }

    void exitBeforeAnyPortTouchesNoPort()
    {
        w->close(); // the close button does what Exit does
        QVERIFY(w->ended);
        QVERIFY(fake->log.isEmpty());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
