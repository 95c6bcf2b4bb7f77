#pragma once

#include "Sweep.h"
#include "TraceCanvas.h"

#include <QRect>
#include <span>

// What a batch of samples changed, for the view to show.
struct TraceUpdate
{
    QRect changed;                             // in the trace image, logical pixels of the surface's inside
    int markerLeft = Sweep::InitialMarkerLeft; // Shape1's left edge in twips after the batch
};

// The acquisition path: every received byte is stored, moves the marker and
// adds its segment, in order, before the next one. Hot path: no allocation
// per sample, one painter per batch.
class Acquisition
{
public:
    explicit Acquisition(qreal devicePixelRatio = 1.0)
        : canvas_(devicePixelRatio)
    { }

    // A new Start: the next sample goes to entry 0, the sweep goes on from
    // where the pen stands.
    void startRun() { sweep_.startRun(); }

    void take(std::span<const std::uint8_t> samples)
    {
        for (std::uint8_t sample : samples)
            canvas_.plot(sweep_.take(sample));
    }

    // An operator's marker at the pen.
    void mark(int number) { canvas_.drawMarker(sweep_.plotX(), number); }

    // Closes the batch.
    TraceUpdate finishBatch() { return {canvas_.finish(), sweep_.markerLeft()}; }

    // The screen's device pixels per logical pixel; the trace is kept, scaled.
    void setDevicePixelRatio(qreal ratio) { canvas_.setDevicePixelRatio(ratio); }

    const Sweep &sweep() const { return sweep_; }
    const TraceCanvas &canvas() const { return canvas_; }

private:
    Sweep sweep_;
    TraceCanvas canvas_;
};
