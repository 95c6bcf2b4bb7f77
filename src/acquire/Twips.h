#pragma once

// Every length in the window's layout and on the drawing surface is in twips
// (1/1440 inch); this many make one logical pixel.
namespace Twips {

inline constexpr int PerPixel = 15;

constexpr double toPixels(int twips)
{
    return twips / double(PerPixel);
}

} // namespace Twips
