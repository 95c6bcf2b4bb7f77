#include "acquire/Acquisition.h"
#include "acquire/Sweep.h"
#include "acquire/TraceCanvas.h"
#include "acquire/Twips.h"

#include <QTest>

class SweepTest : public QObject
{
    Q_OBJECT

    static SweepStep feed(Sweep &s, int count, std::uint8_t sample = 0)
    {
        SweepStep last {};
        for (int i = 0; i < count; ++i)
            last = s.take(sample);
        return last;
    }

private slots:
    void firstSampleStartsAtTheStartUpPoint()
    {
        Sweep s;
        const SweepStep step = s.take(100);
        QCOMPARE(step.index, 0);
        QCOMPARE(step.x0, -300);
        QCOMPARE(step.y0, 1600);
        QCOMPARE(step.x1, -291);
        QCOMPARE(step.y1, 1540);
        QCOMPARE(step.previousMarkerLeft, 0);
        QCOMPARE(step.markerLeft, -250);
        QCOMPARE(s.sampleBuffer()[0], 100);
        QCOMPARE(s.previousY(), 1540);
    }

    void verticalMapping()
    {
        QCOMPARE(Sweep::yFor(0), 2440);
        QCOMPARE(Sweep::yFor(100), 1540);
        QCOMPARE(Sweep::yFor(255), 145);
    }

    void firstSweepHolds1146SamplesLaterOnes1145()
    {
        Sweep s;
        SweepStep step = feed(s, 1145);
        QCOMPARE(step.index, 1144);
        QCOMPARE(step.x0, 9996); // does not wrap: only x > 10000 does
        step = s.take(7);        // the 1146th
        QCOMPARE(step.index, 1145);
        QCOMPARE(step.x0, 10005);
        QCOMPARE(step.x1, 10014);
        QCOMPARE(s.sampleBuffer()[1145], 7);
        step = s.take(8); // the 1147th
        QCOMPARE(step.index, 0);
        QCOMPARE(step.x0, -291);
        QCOMPARE(step.previousMarkerLeft, 10055); // the marker jumps back with the pen
        QCOMPARE(step.markerLeft, -241);
        QCOMPARE(step.y0, Sweep::yFor(7)); // previous y carries over the wrap

        step = feed(s, 1143, 9);
        QCOMPARE(step.index, 1143);
        step = s.take(9); // 1145th of the second sweep
        QCOMPARE(step.index, 1144);
        QCOMPARE(step.x0, 10005);
        step = s.take(10);
        QCOMPARE(step.index, 0);
        QCOMPARE(step.x0, -291);
        // Entry 1145 keeps what the first sweep stored; later entries never change.
        QCOMPARE(s.sampleBuffer()[1145], 7);
        QCOMPARE(s.sampleBuffer()[1146], 0);
        QCOMPARE(s.sampleBuffer()[2048], 0);
    }

    void restartKeepsThePenAndResetsTheIndex()
    {
        Sweep s;
        // Pen at x 5001 after 589 samples: -300 + 9 * 589.
        feed(s, 589, 50);
        QCOMPARE(s.plotX(), 5001);
        s.startRun();
        const SweepStep step = s.take(60);
        QCOMPARE(step.index, 0);
        QCOMPARE(step.x0, 5001);
        QCOMPARE(step.y0, Sweep::yFor(50));
        // That run's first sweep still ends at 10005 with its samples from entry 0 up.
        const int toEdge = (10005 - 5001) / 9;
        const SweepStep last = feed(s, toEdge, 61);
        QCOMPARE(last.x0, 10005);
        QCOMPARE(last.index, toEdge);
        QCOMPARE(s.take(62).x0, -291);
    }
};

class CanvasTest : public QObject
{
    Q_OBJECT

    // Pixel of the inside at twips (x, y).
    static QRgb at(const TraceCanvas &c, int x, int y)
    {
        const qreal k = c.devicePixelRatio() / Twips::PerPixel;
        return c.image().pixel(int(x * k), int(y * k));
    }
    static bool columnHasTrace(const TraceCanvas &c, int x)
    {
        const qreal k = c.devicePixelRatio() / Twips::PerPixel;
        for (int row = 0; row < c.image().height(); ++row)
            if (c.image().pixel(int(x * k), row) == TraceCanvas::TraceColour.rgb())
                return true;
        return false;
    }

private slots:
    void blankSurfaceShowsBackgroundAndLines_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::newRow("1x") << 1.0;
        QTest::newRow("2x") << 2.0;
    }
    void blankSurfaceShowsBackgroundAndLines()
    {
        QFETCH(qreal, ratio);
        TraceCanvas c(ratio);
        QCOMPARE(c.image().deviceIndependentSize().toSize(), QSize(663, 175));
        QCOMPARE(at(c, 3000, 1000), TraceCanvas::Background.rgb());
        QCOMPARE(at(c, 3000, 2440), TraceCanvas::LineColour.rgb());
        QCOMPARE(at(c, 3000, 105), TraceCanvas::LineColour.rgb());
    }

    void sweepReplacesTheOldTraceBehindABlankBand_data() { blankSurfaceShowsBackgroundAndLines_data(); }
    void sweepReplacesTheOldTraceBehindABlankBand()
    {
        QFETCH(qreal, ratio);
        Acquisition a(ratio);
        // One full first sweep of a mid-level signal.
        std::vector<std::uint8_t> first(1146, 128);
        a.take(first);
        a.finishBatch();
        // The second sweep reaches x = -291 + 9 * 600 = 5109 (next segment start).
        std::vector<std::uint8_t> second(600, 20);
        a.take(second);
        a.finishBatch();
        const int pen = a.sweep().plotX() - 9; // start of the newest segment
        const TraceCanvas &c = a.canvas();
        // Left of the pen: the new sweep; right of the band: the previous one.
        QCOMPARE(at(c, pen - 300, Sweep::yFor(20)), TraceCanvas::TraceColour.rgb());
        QCOMPARE(at(c, pen + 600, Sweep::yFor(128)), TraceCanvas::TraceColour.rgb());
        // The band from 41 to 245 twips ahead holds no trace, lines intact.
        for (int x = pen + 45; x <= pen + 230; x += 15)
            QVERIFY2(!columnHasTrace(c, x), qPrintable(QString::number(x)));
        QCOMPARE(at(c, pen + 150, 2440), TraceCanvas::LineColour.rgb());
        QCOMPARE(at(c, pen + 150, 105), TraceCanvas::LineColour.rgb());
    }

    void batchUpdateCoversSegmentBandAndMarker()
    {
        Acquisition a;
        a.take(std::vector<std::uint8_t>(100, 200));
        TraceUpdate update = a.finishBatch();
        const int pen = a.sweep().plotX() - 9;
        QVERIFY(update.changed.contains(QPoint(pen / 15, Sweep::yFor(200) / 15)));
        QVERIFY(update.changed.right() >= (pen + 245) / 15);
        QCOMPARE(update.markerLeft, pen + 50);
        update = a.finishBatch();
        QVERIFY(update.changed.isEmpty());
        QCOMPARE(update.markerLeft, pen + 50);

        // On to the 1147th sample, across the wrap: the strip runs edge to
        // edge and the marker stands at the left again.
        a.take(std::vector<std::uint8_t>(1047, 200));
        update = a.finishBatch();
        QCOMPARE(update.markerLeft, -241);
        QCOMPARE(update.changed.left(), 0);
        QCOMPARE(update.changed.right(), 662);
    }

    void pixelRatioChangeKeepsTheTrace()
    {
        Acquisition a;
        a.take(std::vector<std::uint8_t>(600, 20));
        a.finishBatch();
        a.setDevicePixelRatio(2.0);
        QCOMPARE(a.canvas().image().size(), QSize(1326, 350));
        QVERIFY(columnHasTrace(a.canvas(), 3000));
        QVERIFY(!columnHasTrace(a.canvas(), 6000));
    }
};

int main(int argc, char **argv)
{
    int status = 0;
    {
        SweepTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    {
        CanvasTest t;
        status |= QTest::qExec(&t, argc, argv);
    }
    return status;
}

#include "tst_sweep.moc"
