#pragma once

#include <QFrame>

class TraceCanvas;

// The drawing surface: shows the trace image, the reference lines in it, and
// the marker on top. Repaints only what changed.
class SweepSurface : public QFrame
{
    Q_OBJECT
public:
    static inline const QColor MarkerColour{160, 160, 160};

    explicit SweepSurface(TraceCanvas &canvas, QWidget *parent = nullptr);

    // After a batch of samples: the trace changed in `traceRect` (logical
    // pixels of the inside) and the marker moved to `markerLeft` twips.
    void traceChanged(const QRect &traceRect, int markerLeft);

    int markerLeft() const { return markerLeft_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect markerPixels(int markerLeft) const;

    TraceCanvas &canvas_;
    int markerLeft_;
};
