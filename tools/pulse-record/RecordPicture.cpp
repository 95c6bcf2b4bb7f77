#include "RecordPicture.h"

#include "RecordTexts.h"
#include "acquire/RecordFormat.h"
#include "acquire/Sweep.h"
#include "acquire/TraceCanvas.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// The surface's twips scaled so that one count is PixelsPerCount pixels.
constexpr double PixelsPerTwip = double(RecordPicture::PixelsPerCount) / (Sweep::yFor(0) - Sweep::yFor(1));

int rowOf(int twipsY)
{
    return RecordPicture::plotRect().top() + int(std::lround(twipsY * PixelsPerTwip));
}

int decimalsFor(double step)
{
    return std::max(0, int(-std::floor(std::log10(step) + 1e-9)));
}

} // namespace

QRect RecordPicture::plotRect()
{
    const int width = (RecordFormat::Size - 1) * PixelsPerSample + 1;
    const int height = int(std::lround(TraceCanvas::HeightTwips * PixelsPerTwip));
    return {MarginLeft, MarginTop, width, height};
}

QSize RecordPicture::imageSize()
{
    const QRect plot = plotRect();
    return {MarginLeft + plot.width() + MarginRight, MarginTop + plot.height() + MarginBottom};
}

QPoint RecordPicture::samplePoint(int index, int value)
{
    return {plotRect().left() + index * PixelsPerSample, rowOf(Sweep::yFor(std::uint8_t(value)))};
}

int RecordPicture::lowerLineRow()
{
    return rowOf(TraceCanvas::LowerLineY);
}

int RecordPicture::upperLineRow()
{
    return rowOf(TraceCanvas::UpperLineY);
}

double RecordPicture::tickStep(double span)
{
    double unit = std::pow(10.0, std::floor(std::log10(std::max(span, 1e-9) / MaxTicks)));
    for (;; unit *= 10) {
        for (double m : {1.0, 2.0, 5.0}) {
            if (span / (m * unit) <= MaxTicks)
                return m * unit;
        }
    }
}

namespace {

void drawAxes(QPainter &p, const QString &title, std::optional<double> rateHz)
{
    const QRect plot = RecordPicture::plotRect();
    const int tick = RecordPicture::TickLength;
    const int lineHeight = p.fontMetrics().height();
    p.setPen(RecordPicture::Ink);
    p.drawRect(plot.adjusted(-1, -1, 0, 0)); // a frame just outside the plot

    p.drawText(QRect(plot.left(), 0, plot.width(), plot.top() - 2 * tick), Qt::AlignHCenter | Qt::AlignBottom, title);
    p.drawText(QRect(0, 0, plot.left() - 2 * tick, plot.top() - 2 * tick), Qt::AlignRight | Qt::AlignBottom,
               RecordTexts::ValueAxis);

    for (int v = 0; v <= 255; v += RecordPicture::ValueTickStep) {
        const int y = RecordPicture::samplePoint(0, v).y();
        p.drawLine(plot.left() - 1 - tick, y, plot.left() - 2, y);
        p.drawText(QRect(0, y - lineHeight, plot.left() - 2 * tick, 2 * lineHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(v));
    }

    // Ticks in seconds when the rate is known, else in samples.
    const int last = RecordFormat::Size - 1;
    const double perSample = rateHz ? 1.0 / *rateHz : 1.0;
    const double step = RecordPicture::tickStep(last * perSample);
    const int decimals = rateHz ? decimalsFor(step) : 0;
    const int labelWidth = 80;
    for (int k = 0;; ++k) {
        const double at = k * step;
        const double index = at / perSample;
        if (index > last + 1e-6)
            break;
        const int x = plot.left() + int(std::lround(index * RecordPicture::PixelsPerSample));
        p.drawLine(x, plot.bottom() + 1, x, plot.bottom() + tick);
        p.drawText(QRect(x - labelWidth / 2, plot.bottom() + tick + 2, labelWidth, lineHeight),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(at, 'f', decimals));
    }
    p.drawText(QRect(plot.left(), plot.bottom() + tick + 2 + lineHeight, plot.width(), lineHeight + 4),
               Qt::AlignHCenter | Qt::AlignTop, rateHz ? RecordTexts::TimeAxis : RecordTexts::IndexAxis);
}

} // namespace

QImage RecordPicture::render(std::span<const std::uint8_t> samples, const QString &title, std::optional<double> rateHz,
                             int gapAt)
{
    QImage image(imageSize(), QImage::Format_RGB32);
    image.fill(Paper);
    const QRect plot = plotRect();
    QPainter p(&image);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    p.setRenderHint(QPainter::TextAntialiasing);
    drawAxes(p, title, rateHz);

    p.fillRect(plot, TraceCanvas::Background);
    p.setPen(QPen(TraceCanvas::LineColour, 0));
    for (int y : {lowerLineRow(), upperLineRow()})
        p.drawLine(plot.left(), y, plot.right(), y);

    // As in the program, the trace is drawn over the reference lines.
    const size_t count = std::min(samples.size(), size_t(RecordFormat::Size));
    if (gapAt >= 0 && size_t(gapAt) < count) {
        const int x = samplePoint(gapAt, 0).x();
        p.setPen(QPen(GapMark, 0, Qt::DotLine));
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    p.setPen(QPen(TraceCanvas::TraceColour, 0));
    if (count == 1)
        p.drawPoint(samplePoint(0, samples[0]));
    for (size_t i = 1; i < count; ++i) {
        if (int(i) == gapAt || int(i) - 1 == gapAt)
            continue;
        p.drawLine(samplePoint(int(i) - 1, samples[i - 1]), samplePoint(int(i), samples[i]));
    }
    return image;
}
