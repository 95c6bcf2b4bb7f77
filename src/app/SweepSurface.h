#pragma once

#include <QFrame>

class QImage;
struct TraceUpdate;

// The drawing surface: shows the trace image, the reference lines in it, and
// the marker on top. Repaints only what changed; never draws into the image.
class SweepSurface : public QFrame
{
    Q_OBJECT
public:
    static inline const QColor MarkerColour {160, 160, 160};

    // `trace` is the picture of the surface's inside; it outlives the surface.
    explicit SweepSurface(const QImage &trace, QWidget *parent = nullptr);

    // After a batch of samples: repaints what changed and moves the marker.
    void traceChanged(const TraceUpdate &batch);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect markerPixels(int markerLeft) const;

    const QImage &trace_;
    int shownMarkerLeft_; // where the last update put the marker
};
