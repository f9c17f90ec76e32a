#pragma once

#include <windows.h>

// Moves window so that it is centred over `over` (the work area when null, or when over is the
// window itself), kept inside the desktop's work area; its size and z-order stay.
void CentreWindowOver(HWND window, HWND over);
