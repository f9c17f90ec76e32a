#pragma once

#include <windows.h>

// HIMETRIC (0.01 mm) units against the screen's pixels, as containers and controls measure.
inline constexpr LONG kHimetricPerInch = 2540;

// The screen's pixels per logical inch; 96 each way when the screen cannot say.
SIZE ScreenPixelsPerInch();

SIZEL PixelsToHimetric(SIZE pixels);
