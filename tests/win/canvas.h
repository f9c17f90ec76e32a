#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

#include "common/scoped_owner.h"

// A 32-bit top-down DIB in a memory DC, pre-filled with a marker colour, to paint into and read
// back pixel by pixel.
class Canvas {
 public:
  Canvas(int width, int height, COLORREF marker) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    dib_.Reset(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_),
                                  nullptr, 0));
    old_ = ::SelectObject(dc_, dib_.Get());
    std::fill(bits_, bits_ + width * height, Pixel(marker));
  }
  ~Canvas() {
    ::SelectObject(dc_, old_);
    ::DeleteDC(dc_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    const DWORD p = bits_[y * width_ + x];
    return RGB(GetBValue(p), GetGValue(p), GetRValue(p));  // stored as 0x00RRGGBB
  }
  // Pixels of the colour in the columns [left, right); right < 0: up to the right edge.
  int Count(COLORREF colour, int left = 0, int right = -1) const {
    if (right < 0) right = width_;
    int n = 0;
    for (int y = 0; y < height_; ++y)
      for (int x = left; x < right; ++x) n += At(x, y) == colour;
    return n;
  }
  bool SameAs(const Canvas& other) const {
    return std::equal(bits_, bits_ + width_ * height_, other.bits_);
  }

 private:
  static DWORD Pixel(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }

  int width_;
  int height_;
  HDC dc_ = ::CreateCompatibleDC(nullptr);
  ScopedGdiObject dib_;
  HGDIOBJ old_ = nullptr;
  DWORD* bits_ = nullptr;
};
