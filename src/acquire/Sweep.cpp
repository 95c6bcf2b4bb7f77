#include "Sweep.h"

// The buffer bound is never reached: x never falls below -300, so an index
// of at most 1145 is stored before every wrap.
static_assert((Sweep::WrapBeyondX - Sweep::InitialPlotX) / Sweep::PlotStep + 1 < Sweep::BufferEntries);
