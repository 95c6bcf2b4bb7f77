#pragma once

#include "Sweep.h"
#include "Twips.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <optional>

// The drawing surface's picture, kept as an image so that a repaint does not
// lose the trace. Holds the background, the two reference lines and every
// segment drawn; the marker is not part of it (the view draws it on top).
// Sizes and coordinates in twips; the image is in device pixels.
class TraceCanvas
{
public:
    // The surface as the window lays it out; its inside, drawn here, lies
    // within a one-pixel border.
    static constexpr int SurfaceWidth = 9975;
    static constexpr int SurfaceHeight = 2655;
    static constexpr int WidthTwips = SurfaceWidth - 2 * Twips::PerPixel;
    static constexpr int HeightTwips = SurfaceHeight - 2 * Twips::PerPixel;
    static constexpr int MarkerWidth = 195;
    static constexpr int LowerLineY = Sweep::ZeroLevelY; // Line1: the level of a sample of 0
    static constexpr int UpperLineY = 105;               // Line2
    static constexpr int LinesEndX = 9960;

    static inline const QColor Background {0, 0, 192};
    static inline const QColor TraceColour {255, 255, 0};
    static inline const QColor LineColour {192, 0, 0};
    static inline const QColor MarkColour {255, 255, 255};
    static constexpr int MarkTickHeight = 150; // an operator's marker: a tick down from the top edge
    static constexpr int MarkTextHeight = 135;

    explicit TraceCanvas(qreal devicePixelRatio = 1.0);

    // Redraws at another pixel ratio, keeping the trace (scaled).
    void setDevicePixelRatio(qreal ratio);
    qreal devicePixelRatio() const { return image_.devicePixelRatio(); }

    // One sample: the marker's old and new rectangles are wiped back to the
    // background and lines, then the segment is drawn over what remains.
    void plot(const SweepStep &step);

    // An operator's marker: a short tick down from the top edge at `x`, its
    // number just left of it. Part of the trace, so the sweep wipes it.
    void drawMarker(int x, int number);

    // Ends a batch of plot() calls; returns the region they changed, in
    // logical pixels of the surface's inside, and forgets it.
    QRect finish();

    // The picture; call finish() first.
    const QImage &image() const { return image_; }

    static QRectF markerRect(int markerLeft);

private:
    QPainter &painter();
    // Wipes the columns of [fromX, toX) twips back to background and lines.
    void wipe(int fromX, int toX);

    QImage image_;
    QImage background_; // background and reference lines only, same size
    std::optional<QPainter> painter_;
    QRectF dirty_;
};
