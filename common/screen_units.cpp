#include "common/screen_units.h"

SIZE ScreenPixelsPerInch() {
  SIZE dpi = {96, 96};
  HDC screen = ::GetDC(nullptr);
  if (screen != nullptr) {
    dpi.cx = ::GetDeviceCaps(screen, LOGPIXELSX);
    dpi.cy = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
  }
  return dpi;
}

SIZEL PixelsToHimetric(SIZE pixels) {
  const SIZE dpi = ScreenPixelsPerInch();
  return {::MulDiv(pixels.cx, kHimetricPerInch, dpi.cx),
          ::MulDiv(pixels.cy, kHimetricPerInch, dpi.cy)};
}
