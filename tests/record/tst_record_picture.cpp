// The record's picture: trace pixels where the samples say, in the program's
// colours, between the reference lines.
#include "RecordPicture.h"
#include "acquire/RecordFormat.h"
#include "acquire/TraceCanvas.h"

#include <QTest>
#include <cmath>

using Bytes = std::vector<std::uint8_t>;

namespace {

const int RecordSize = RecordFormat::Size;

// Worked out here from the drawing rule rather than asked of the picture:
// y = 2440 - 9 v twips on the surface, 2 pixels per count, 1 per sample.
int expectedRow(int value)
{
    return RecordPicture::plotRect().top() + int(std::lround((2440 - 9 * value) * 2 / 9.0));
}
int expectedColumn(int index)
{
    return RecordPicture::plotRect().left() + index;
}

QColor at(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y);
}

} // namespace

class RecordPictureTest : public QObject
{
    Q_OBJECT

private slots:
    void geometry()
    {
        const QRect plot = RecordPicture::plotRect();
        QCOMPARE(plot.width(), RecordSize); // a pixel per sample: wider than the program's own sweep
        QVERIFY(QRect(QPoint(0, 0), RecordPicture::imageSize()).contains(plot));
        QCOMPARE(RecordPicture::samplePoint(0, 0), QPoint(expectedColumn(0), expectedRow(0)));
        QCOMPARE(RecordPicture::samplePoint(RecordSize - 1, 255),
                 QPoint(expectedColumn(RecordSize - 1), expectedRow(255)));
        // Lower line at the level of 0; upper line 40 twips (about 4.4 counts) above 255.
        QCOMPARE(RecordPicture::lowerLineRow(), expectedRow(0));
        QCOMPARE(RecordPicture::upperLineRow(), plot.top() + int(std::lround(105 * 2 / 9.0)));
        QCOMPARE(expectedRow(255) - RecordPicture::upperLineRow(), 9);
        QVERIFY(RecordPicture::upperLineRow() > plot.top() && RecordPicture::lowerLineRow() < plot.bottom());
    }

    void rampTrace()
    {
        Bytes ramp(RecordSize);
        for (int i = 0; i < RecordSize; ++i)
            ramp[i] = std::uint8_t(i % 256);
        const QImage image = RecordPicture::render(ramp, QStringLiteral("ramp"), 200.0);
        QCOMPARE(image.size(), RecordPicture::imageSize());

        for (int i = 0; i < RecordSize; ++i)
            QCOMPARE(at(image, expectedColumn(i), expectedRow(ramp[i])), TraceCanvas::TraceColour);
        // Away from the trace the ground is dark blue: two counts below each
        // rising sample, where nothing else is drawn.
        for (int i = 10; i < 250; ++i)
            QCOMPARE(at(image, expectedColumn(i), expectedRow(ramp[i]) + 4), TraceCanvas::Background);
        // The drop from 255 to 0 is one unbroken stroke between the two samples.
        for (int v = 0; v <= 255; ++v) {
            const int row = expectedRow(v);
            QVERIFY2(at(image, expectedColumn(255), row) == TraceCanvas::TraceColour ||
                         at(image, expectedColumn(256), row) == TraceCanvas::TraceColour,
                     qPrintable(QString::number(v)));
        }
    }

    void constantTraceIsOnePixelThick()
    {
        const int value = 123; // off the value axis' ticks
        const QImage image = RecordPicture::render(Bytes(RecordSize, value), QStringLiteral("flat"), std::nullopt);
        const int row = expectedRow(value);
        for (int i = 0; i < RecordSize; ++i) {
            const int x = expectedColumn(i);
            QCOMPARE(at(image, x, row), TraceCanvas::TraceColour);
            QCOMPARE(at(image, x, row - 1), TraceCanvas::Background);
            QCOMPARE(at(image, x, row + 1), TraceCanvas::Background);
            QCOMPARE(at(image, x, RecordPicture::lowerLineRow()), TraceCanvas::LineColour);
            QCOMPARE(at(image, x, RecordPicture::upperLineRow()), TraceCanvas::LineColour);
        }
        // Nothing of the trace spills outside the plot and its frame.
        QCOMPARE(at(image, expectedColumn(RecordSize) + 2, row), RecordPicture::Paper);
        QCOMPARE(at(image, expectedColumn(0) - 3, row), RecordPicture::Paper);
    }

    void traceOverReferenceLines()
    {
        const QImage image = RecordPicture::render(Bytes(RecordSize, 0), QStringLiteral("zero"), 200.0);
        for (int i = 0; i < RecordSize; ++i)
            QCOMPARE(at(image, expectedColumn(i), RecordPicture::lowerLineRow()), TraceCanvas::TraceColour);
    }

    void shortRecordStopsEarly()
    {
        const int count = 500;
        const QImage image = RecordPicture::render(Bytes(count, 200), QStringLiteral("short"), 200.0);
        QCOMPARE(image.size(), RecordPicture::imageSize()); // same scale as a whole record
        QCOMPARE(at(image, expectedColumn(count - 1), expectedRow(200)), TraceCanvas::TraceColour);
        for (int i = count + 1; i < RecordSize; ++i)
            QCOMPARE(at(image, expectedColumn(i), expectedRow(200)), TraceCanvas::Background);
    }

    void missingSampleIsMarkedNotDrawn()
    {
        const int gap = 300;
        const QImage image = RecordPicture::render(Bytes(RecordSize - 1, 200), QStringLiteral("gap"), 200.0, gap);
        const int row = expectedRow(200);
        QCOMPARE(at(image, expectedColumn(gap - 1), row), TraceCanvas::TraceColour);
        QCOMPARE(at(image, expectedColumn(gap + 1), row), TraceCanvas::TraceColour);
        QVERIFY(at(image, expectedColumn(gap), row) != TraceCanvas::TraceColour);
        int marks = 0;
        for (int y = RecordPicture::plotRect().top(); y <= RecordPicture::plotRect().bottom(); ++y)
            marks += at(image, expectedColumn(gap), y) == RecordPicture::GapMark;
        QVERIFY(marks > RecordPicture::plotRect().height() / 4);
    }

    void tickSteps()
    {
        QCOMPARE(RecordPicture::tickStep(1145 / 200.0), 1.0); // 5.7 s at 200 Hz
        QCOMPARE(RecordPicture::tickStep(1145 / 1000.0), 0.2);
        QCOMPARE(RecordPicture::tickStep(1145), 200.0); // samples, no rate
        QCOMPARE(RecordPicture::tickStep(10), 1.0);
        QCOMPARE(RecordPicture::tickStep(10.5), 2.0);
    }
};

QTEST_MAIN(RecordPictureTest)
#include "tst_record_picture.moc"
