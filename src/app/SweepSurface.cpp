#include "SweepSurface.h"

#include "acquire/Acquisition.h"
#include "acquire/Sweep.h"
#include "acquire/TraceCanvas.h"
#include "acquire/Twips.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

SweepSurface::SweepSurface(const QImage &trace, QWidget *parent)
    : QFrame(parent)
    , trace_(trace)
    , shownMarkerLeft_(Sweep::InitialMarkerLeft)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    nextFrame_.setSingleShot(true);
    connect(&nextFrame_, &QTimer::timeout, this, &SweepSurface::repaintPending);
}

QRect SweepSurface::markerPixels(int markerLeft) const
{
    const QRectF r = TraceCanvas::markerRect(markerLeft);
    const QRect px(QPoint(qRound(Twips::toPixels(int(r.left()))), 0),
                   QSize(qRound(Twips::toPixels(int(r.width()))), height()));
    return px.translated(contentsRect().topLeft());
}

void SweepSurface::traceChanged(const TraceUpdate &batch)
{
    // One rectangle: the strip the pen and the marker moved through. A single
    // update keeps each batch to one small image sent to the display.
    QRect dirty = batch.changed.translated(contentsRect().topLeft());
    if (batch.markerLeft != shownMarkerLeft_) {
        const QRect before = markerPixels(shownMarkerLeft_).adjusted(-1, 0, 1, 0);
        shownMarkerLeft_ = batch.markerLeft;
        const QRect after = markerPixels(shownMarkerLeft_).adjusted(-1, 0, 1, 0);
        // At the wrap the marker jumps across the surface: two rectangles then.
        if (before.intersects(after.adjusted(-30, 0, 30, 0)))
            dirty |= before | after;
        else
            pendingApart_ |= before;
        dirty |= after;
    }
    pending_ |= dirty;
    if ((pending_.isEmpty() && pendingApart_.isEmpty()) || nextFrame_.isActive())
        return;
    const qint64 since = sinceRepaint_.isValid() ? sinceRepaint_.elapsed() : MinPaintIntervalMs;
    if (since >= MinPaintIntervalMs)
        repaintPending();
    else
        nextFrame_.start(int(MinPaintIntervalMs - since));
}

void SweepSurface::repaintPending()
{
    if (!pendingApart_.isEmpty())
        update(pendingApart_);
    if (!pending_.isEmpty())
        update(pending_);
    pending_ = pendingApart_ = QRect();
    sinceRepaint_.restart();
}

void SweepSurface::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    const QRect inside = contentsRect();
    p.setClipRegion(event->region() & inside);
    const QRect dirty = event->region().boundingRect() & inside;
    if (!dirty.isEmpty()) {
        const QRect local = dirty.translated(-inside.topLeft());
        const qreal ratio = trace_.devicePixelRatio();
        const QRectF source(local.left() * ratio, local.top() * ratio, local.width() * ratio, local.height() * ratio);
        p.drawImage(QRectF(dirty), trace_, source);
    }
    // The marker's outline: it reaches past the bottom and is clipped there.
    p.setPen(QPen(MarkerColour, 0));
    const QRect marker = markerPixels(shownMarkerLeft_);
    p.drawRect(marker.adjusted(0, 0, -1, 0));
    p.setClipping(false);
    drawFrame(&p);
}

void SweepSurface::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QFrame::mousePressEvent(event);
    event->accept();
    emit clicked();
}
