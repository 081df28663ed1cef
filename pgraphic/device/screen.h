#pragma once

#include <atomic>

// The screen's colour depth as the library sees it (bits per pixel times
// colour planes on the old displays). A library-wide override stands in for
// the screen, so that 4- and 8-bit displays can be emulated: 0 means none.
extern std::atomic<int> PGScreenBitsPerPixelOverride;

// The override when set, else the depth of the primary screen Qt reports
// (24 when there is no screen).
int ScreenBitsPerPixel();
