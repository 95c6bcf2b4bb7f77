#pragma once

#include <array>
#include <cstdint>

// Where one sample goes: its buffer entry, its segment and the marker's move,
// all in twips of the drawing surface (origin top-left, y downward).
struct SweepStep
{
    int index;              // SampleBuffer entry written
    int x0, y0;             // segment start: (PlotX, PreviousY)
    int x1, y1;             // segment end: (PlotX + PlotStep, CurrentY)
    int previousMarkerLeft; // Shape1's left edge before this sample
    int markerLeft;         // and after: moved before the segment is drawn
};

// The sweep's arithmetic and the sample buffer, with no drawing: samples in,
// segments out. The first sweep after launch starts at x -300 and holds 1146
// samples; every later sweep starts at -291 and holds 1145.
class Sweep
{
public:
    static constexpr int BufferEntries = 2049;
    static constexpr int InitialPlotX = -300;
    static constexpr int InitialPreviousY = 1600;
    static constexpr int PlotStep = 9;
    static constexpr int WrapBeyondX = 10000; // wrap after a segment starting right of this
    static constexpr int ZeroLevelY = 2440;   // a sample of 0; each count is 9 twips higher
    static constexpr int MarkerOffset = 50;   // marker's left edge past the segment's start
    static constexpr int InitialMarkerLeft = 0;

    using Buffer = std::array<std::uint8_t, BufferEntries>;

    static constexpr int yFor(std::uint8_t sample) { return ZeroLevelY - PlotStep * sample; }

    // A new Start: the next sample goes to entry 0; x and the previous y stay.
    // What the buffer holds beyond that is no longer one sweep.
    void startRun()
    {
        sampleIndex_ = 0;
        previousSweepEnd_ = -1;
    }

    // Stores one sample and advances the sweep.
    SweepStep take(std::uint8_t sample)
    {
        const int index = sampleIndex_;
        buffer_[index] = sample;
        ++sampleIndex_;
        const int currentY = yFor(sample);
        const int newMarkerLeft = plotX_ + MarkerOffset;
        const SweepStep step {index, plotX_, previousY_, plotX_ + PlotStep, currentY, markerLeft_, newMarkerLeft};
        markerLeft_ = newMarkerLeft;
        if (plotX_ > WrapBeyondX) {
            plotX_ = InitialPlotX;
            sampleIndex_ = 0;
            previousSweepEnd_ = index;
        }
        plotX_ += PlotStep;
        previousY_ = currentY;
        return step;
    }

    const Buffer &sampleBuffer() const { return buffer_; }
    int plotX() const { return plotX_; }
    int previousY() const { return previousY_; }
    int sampleIndex() const { return sampleIndex_; }
    int markerLeft() const { return markerLeft_; }
    // The last entry the sweep before the one in progress wrote (1145 after the
    // first sweep, 1144 after later ones); -1 while there is none in this run.
    int previousSweepEnd() const { return previousSweepEnd_; }

private:
    Buffer buffer_ {};
    int plotX_ = InitialPlotX;
    int previousY_ = InitialPreviousY;
    int sampleIndex_ = 0;
    int markerLeft_ = InitialMarkerLeft;
    int previousSweepEnd_ = -1;
};
