#include "TraceCanvas.h"

#include <QFont>
#include <algorithm>
#include <cmath>

namespace {

QImage blankImage(qreal ratio)
{
    const QSize logical(int(std::lround(Twips::toPixels(TraceCanvas::WidthTwips))),
                        int(std::lround(Twips::toPixels(TraceCanvas::HeightTwips))));
    QImage image(logical * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(TraceCanvas::Background);
    QPainter p(&image);
    p.scale(1.0 / Twips::PerPixel, 1.0 / Twips::PerPixel);
    p.setPen(QPen(TraceCanvas::LineColour, 0)); // cosmetic: one device pixel
    for (int y : {TraceCanvas::LowerLineY, TraceCanvas::UpperLineY})
        p.drawLine(QLineF(0, y, TraceCanvas::LinesEndX, y));
    return image;
}

} // namespace

TraceCanvas::TraceCanvas(qreal devicePixelRatio)
    : image_(blankImage(devicePixelRatio))
    , background_(image_.copy())
{ }

void TraceCanvas::setDevicePixelRatio(qreal ratio)
{
    if (qFuzzyCompare(ratio, image_.devicePixelRatio()))
        return;
    finish();
    QImage next = blankImage(ratio);
    background_ = next.copy();
    {
        QPainter p(&next);
        p.drawImage(QRectF(QPointF(0, 0), next.deviceIndependentSize()), image_);
    }
    image_ = next;
}

QPainter &TraceCanvas::painter()
{
    // One painter per batch: opening a painter costs far more than a segment.
    if (!painter_) {
        painter_.emplace(&image_);
        painter_->scale(1.0 / Twips::PerPixel, 1.0 / Twips::PerPixel);
        painter_->setPen(QPen(TraceColour, 0)); // cosmetic: one device pixel
    }
    return *painter_;
}

void TraceCanvas::wipe(int fromX, int toX)
{
    // A device column belongs to the strip that holds its centre, so strips
    // that tile the width wipe every column exactly once.
    const qreal k = image_.devicePixelRatio() / Twips::PerPixel;
    const int c0 = std::max(0, int(std::ceil(fromX * k - 0.5)));
    const int c1 = std::min(image_.width(), int(std::ceil(toX * k - 0.5)));
    if (c0 >= c1)
        return;
    const qsizetype stride = image_.bytesPerLine() / qsizetype(sizeof(QRgb));
    QRgb *to = reinterpret_cast<QRgb *>(image_.bits()) + c0;
    const QRgb *from = reinterpret_cast<const QRgb *>(background_.constBits()) + c0;
    const int columns = c1 - c0;
    const int rows = image_.height();
    // Usually one column per sample: plain stores beat a memcpy call per row.
    for (int row = 0; row < rows; ++row, to += stride, from += stride) {
        for (int c = 0; c < columns; ++c)
            to[c] = from[c];
    }
    dirty_ |= QRectF(fromX, 0, toX - fromX, HeightTwips);
}

QRectF TraceCanvas::markerRect(int markerLeft)
{
    return QRectF(markerLeft, 0, MarkerWidth, HeightTwips);
}

void TraceCanvas::plot(const SweepStep &step)
{
    // Moving the marker repaints its old and its new rectangle. Nothing is ever
    // drawn inside the marker, so when the two overlap only the strip it has
    // just entered can hold old trace.
    const int oldLeft = step.previousMarkerLeft;
    const int newLeft = step.markerLeft;
    if (newLeft > oldLeft && newLeft < oldLeft + MarkerWidth)
        wipe(oldLeft + MarkerWidth, newLeft + MarkerWidth);
    else if (newLeft != oldLeft)
        wipe(newLeft, newLeft + MarkerWidth);

    painter().drawLine(QLineF(step.x0, step.y0, step.x1, step.y1));
    dirty_ |= QRectF(QPointF(step.x0, std::min(step.y0, step.y1)), QPointF(step.x1, std::max(step.y0, step.y1)));
}

void TraceCanvas::drawMarker(int x, int number)
{
    QPainter &p = painter();
    const QPen trace = p.pen();
    p.setPen(QPen(MarkColour, 0));
    p.drawLine(QLineF(x, 0, x, MarkTickHeight));
    // Left of the tick, over the trace already drawn: right of it the marker
    // band would wipe a wide number at once.
    QFont font = p.font();
    font.setPixelSize(MarkTextHeight);
    p.setFont(font);
    const QRectF text(x - 30 - 40 * MarkTextHeight, 0, 40 * MarkTextHeight, MarkTextHeight + 30);
    QRectF drawn;
    p.drawText(text, Qt::AlignRight | Qt::AlignTop, QString::number(number), &drawn);
    p.setPen(trace);
    dirty_ |= QRectF(x, 0, 1, MarkTickHeight) | drawn;
}

QRect TraceCanvas::finish()
{
    painter_.reset();
    if (dirty_.isNull())
        return {};
    const QRectF twips = dirty_;
    dirty_ = QRectF();
    constexpr qreal k = Twips::PerPixel;
    const QRectF px(twips.left() / k, twips.top() / k, twips.width() / k, twips.height() / k);
    // A pixel of slack each way covers the rasteriser's rounding.
    return px.toAlignedRect().adjusted(-1, -1, 1, 1) & QRect(QPoint(0, 0), image_.deviceIndependentSize().toSize());
}
