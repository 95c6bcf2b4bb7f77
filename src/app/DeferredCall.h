#pragma once

#include <functional>

// Runs a call once what the operator just did shows on the screen (a list
// closed, the window repainted under it). Clicks and keys that arrive
// meanwhile stay queued and are handled after the call, in order, as if it
// had run at once. The call never runs inside the handling of later input:
// a warning box it opened there would take the rest of that click and drop
// it, and the held press would arrive alone once the box was gone.
namespace DeferredCall {

// Long enough for the window system to report the uncovered area, far too
// short for anyone to notice.
constexpr int CatchUpMs = 25;

void runOnceShown(const std::function<void()> &call);

} // namespace DeferredCall
