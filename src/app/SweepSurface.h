#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QTimer>

class QImage;
struct TraceUpdate;

// The drawing surface: shows the trace image, the reference lines in it, and
// the marker on top. Repaints only what changed, at most about once a display
// frame however the bytes arrive; never draws into the image.
class SweepSurface : public QFrame
{
    Q_OBJECT
public:
    static inline const QColor MarkerColour {160, 160, 160};
    // Batches closer together than this are shown together: a 60 Hz frame
    // less a timer's jitter, so a line read once a frame paints at once and
    // one read a byte at a time paints no more often than the screen shows.
    static constexpr int MinPaintIntervalMs = 12;

    // `trace` is the picture of the surface's inside; its owner keeps it for
    // as long as the surface lives.
    explicit SweepSurface(const QImage &trace, QWidget *parent = nullptr);

    // After a batch of samples: repaints what changed and moves the marker.
    void traceChanged(const TraceUpdate &batch);

signals:
    // A left click on the surface.
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QRect markerPixels(int markerLeft) const;
    void repaintPending();

    const QImage &trace_;
    int shownMarkerLeft_; // where the last update put the marker
    QRect pending_;       // changed since the last repaint was asked for
    QRect pendingApart_;  // the marker's old place after a jump across the surface
    QElapsedTimer sinceRepaint_;
    QTimer nextFrame_;
};
