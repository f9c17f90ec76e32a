#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Little-endian fields of picture files made by tests.
inline void Put16(std::string& s, uint16_t v) { s.append({char(v & 0xFF), char(v >> 8)}); }
inline void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

// The headers of a 24-bit bitmap file of width x height; its pixels (rows of a multiple of 4
// bytes, bottom row first) follow.
inline std::string BitmapHeaders(int width, int height) {
  const uint32_t pixels = static_cast<uint32_t>(width * 3 * height);
  std::string s = "BM";
  Put32(s, 54 + pixels);
  Put32(s, 0);
  Put32(s, 54);
  Put32(s, 40);
  Put32(s, width);
  Put32(s, height);
  Put16(s, 1);
  Put16(s, 24);
  Put32(s, BI_RGB);
  for (int i = 0; i < 5; ++i) Put32(s, 0);
  return s;
}

// A whole bitmap file of one colour; width a multiple of 4.
inline std::string BitmapFile(int width, int height, COLORREF colour) {
  std::string s = BitmapHeaders(width, height);
  for (int i = 0; i < width * height; ++i) {
    s.append({char(GetBValue(colour)), char(GetGValue(colour)), char(GetRValue(colour))});
  }
  return s;
}
