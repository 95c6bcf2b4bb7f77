#include "FakeLineTest.h"
#include "app/CaptionLabel.h"
#include "app/MainWindow.h"
#include "app/SweepSurface.h"
#include "app/Texts.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
    void showWarning(const SessionNotice &notice) override
    {
        warnings << Texts::notice(notice);
        warnedBusy |= QGuiApplication::overrideCursor() != nullptr;
    }
    void endProgram() override { ended = true; }
};

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

} // namespace

using namespace FakeLog;

class WindowTest : public FakeLineTest
{
    Q_OBJECT

    std::unique_ptr<TestWindow> w;

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

    SensorSession &session() override { return w->session(); }
    void clickText1()
    {
        QLineEdit *box = child<QLineEdit>("Text1");
        QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    }
private slots:
    void init()
    {
        w = std::make_unique<TestWindow>(fake);
        folder.emplace();
    }
    void cleanup()
    {
        w.reset();
        folder.reset();
    }

    // --- Start-up and layout ---

    void startUpStateAndAnExitThatTouchesNoPort()
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
        QCOMPARE(w->session().fileNumber(), 1);
        QCOMPARE(w->session().portNumber(), 1);
        QCOMPARE(w->windowTitle(), QStringLiteral("脉搏数字传感器采样演示"));
        QCOMPARE(option(4)->text(), QStringLiteral("500hz"));
        const QString caption = child<CaptionLabel>("Label1")->caption();
        QCOMPARE(caption.size(), 152);
        QCOMPARE(caption.count(QChar(u'\r')), 5);
        QVERIFY(!caption.contains(QChar(u'\n')));
        QVERIFY(caption.startsWith(QStringLiteral("采样测试提示：\r    1、")));
        // Shown as six lines.
        QCOMPARE(child<QLabel>("Label1")->text().split(QChar(u'\n')).size(), 6);
        const QString prompt = child<CaptionLabel>("Label14")->caption();
        QVERIFY(prompt.startsWith(QStringLiteral("  请")) && prompt.endsWith(QString(14, QChar(u' '))));
        w->close(); // the close button does what Exit does
        QVERIFY(w->ended);
        QVERIFY(fake->log.isEmpty());
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
        QCOMPARE(fake->takeLog(), QStringList {"open 1"} + PortInit);
        QVERIFY(paintedBeforeWriting > 0);
        QTest::mouseClick(option(15), Qt::LeftButton);
        QCOMPARE(fake->takeLog(), command("20 34", "09"));
        QCOMPARE(cursors, QList<int>(cursors.size(), Qt::WaitCursor));
        QCOMPARE(cursors.size(), 7);
        QVERIFY(!QGuiApplication::overrideCursor());
        emit combo->activated(1);
        QCOMPARE(fake->takeLog(), QStringList({"close", "open 2"}) + PortInit);
        emit combo->activated(1); // the same port again: opened and set up afresh
        QCOMPARE(fake->takeLog(), QStringList({"close", "open 2"}) + PortInit);
        QCOMPARE(w->session().portNumber(), 2);
        QVERIFY(w->warnings.isEmpty());
    }

    void afterAPickTheControlsShowTheSensorsState()
    {
        openPort();
        option(10)->click(); // 5x
        child<QPushButton>("Command2")->click();
        child<QPushButton>("Command2")->click();
        option(3)->click(); // 400Hz
        QCOMPARE(label7(), QStringLiteral("2"));
        w->session().selectPort(0);
        QVERIFY(option(6)->isChecked()); // 1x
        QVERIFY(option(1)->isChecked()); // 200Hz
        QCOMPARE(w->session().baselineLevel(), 0);
        QCOMPARE(label7(), QStringLiteral("0"));
        // Nothing beyond the three initial commands was sent for it.
        QCOMPARE(fake->log.mid(fake->log.lastIndexOf("open 1")), QStringList {"open 1"} + PortInit);
    }

    // --- Port closed or lost ---

    void everyControlWarnsWhileThePortIsClosed()
    {
        const QString closed = Texts::PortNotOpen;
        child<QPushButton>("Command1")->click();
        option(15)->click();
        option(2)->click();
        child<QPushButton>("Command2")->click();
        child<QPushButton>("Command3")->click();
        clickText1();
        QCOMPARE(w->warnings, QStringList(6, closed));
        QVERIFY(fake->log.isEmpty());
        QVERIFY(!w->session().started());
        QCOMPARE(w->session().baselineLevel(), 0);
        QCOMPARE(label7(), QStringLiteral("0"));
        QCOMPARE(w->session().pendingSerialQueries(), 0);
    }

    // --- Trace ---

    void theTraceRepaintsAtMostOnceAFrameAndShowsTheLastBatch()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        openPort();
        child<QPushButton>("Command1")->click();
        feed(ramp(100)); // the pen well inside the surface
        PaintCount paints(child<QWidget>("Picture1"));
        // Two batches within one frame: the first is painted at once, the
        // second waits for the next frame. A pair that a load spreads over
        // a frame or more tells nothing, and another is tried.
        int painted = 0;
        for (int pair = 0;; ++pair) {
            QVERIFY2(pair < 200, "no two batches came within one frame");
            QTest::qWait(2 * SweepSurface::MinPaintIntervalMs); // any frame held back goes by
            painted = paints.count;
            QElapsedTimer clock;
            clock.start();
            feed(ramp(1, pair));
            QCoreApplication::processEvents();
            const bool atOnce = paints.count == painted + 1;
            feed(ramp(1, pair + 1));
            QCoreApplication::processEvents();
            if (atOnce && clock.elapsed() < SweepSurface::MinPaintIntervalMs) {
                QCOMPARE(paints.count, painted + 1);
                break;
            }
        }
        // The batch held back is shown at the next frame.
        QTRY_COMPARE(paints.count, painted + 2);
    }

    // --- Markers ---

    void aClickOnTheTraceAndF2MarkWhileStreamingOnlyAndReachNoControl()
    {
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        openPort();
        QWidget *focused = QApplication::focusWidget();
        const auto mark = [this] {
            QTest::mouseClick(child<QWidget>("Picture1"), Qt::LeftButton);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        };
        mark(); // not streaming yet
        child<QPushButton>("Command1")->click();
        feed(ramp(50));
        fake->takeLog();
        mark();
        // No focus moved, no button pressed (each writes or ends), nothing typed.
        QCOMPARE(QApplication::focusWidget(), focused);
        QVERIFY(fake->log.isEmpty() && text1().isEmpty() && w->warnings.isEmpty() && !w->ended);
        child<QPushButton>("Command5")->click();
        mark(); // stopped
        w->session().closePort();
        const QByteArray events = fileBytes(w->session().recorder().path() + SessionFormat::EventsSuffix);
        QCOMPARE(events.count("\tmarker\t"), 2);
        QVERIFY(events.contains("\tmarker\t2\n"));
    }

    // --- Serial number ---

    void theSerialNumberShowsInText1()
    {
        openPort();
        fake->input = "\x07\x08"; // before the click: never shown
        clickText1();
        QCOMPARE(fake->takeLog(), QStringList({"discard in", "write 20 31"}));
        feed(QByteArray("\xAA\xBB\x01\x02\x03", 5)); // the first two bytes are no digits
        QVERIFY(text1().isEmpty());
        QCOMPARE(w->session().pendingSerialQueries(), 1);
        feed(QByteArray("\x04"));
        QCOMPARE(text1(), QStringLiteral("1234"));
        QCOMPARE(w->session().pendingSerialQueries(), 0);
        clickText1(); // a new query clears the box
        QVERIFY(text1().isEmpty());
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
