#pragma once

#include "Sweep.h"
#include "TraceCanvas.h"

#include <span>

// The acquisition path: every received byte is stored, moves the marker and
// adds its segment, in order, before the next one. Hot path: no allocation
// per sample, one painter per batch.
class Acquisition
{
public:
    explicit Acquisition(qreal devicePixelRatio = 1.0)
        : canvas_(devicePixelRatio)
    {
    }

    // A new Start: the next sample goes to entry 0, the sweep goes on from
    // where the pen stands.
    void startRun() { sweep_.startRun(); }

    void take(std::span<const std::uint8_t> samples)
    {
        for (std::uint8_t sample : samples) {
            const int previousMarker = sweep_.markerLeft();
            canvas_.plot(sweep_.take(sample), previousMarker);
        }
    }

    // Closes the batch; the changed region in logical pixels.
    QRect finishBatch() { return canvas_.finish(); }

    const Sweep &sweep() const { return sweep_; }
    TraceCanvas &canvas() { return canvas_; }

private:
    Sweep sweep_;
    TraceCanvas canvas_;
};
