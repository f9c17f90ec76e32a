// libFuzzer target for the BgColor parser. The input is the text, each byte one character (the
// text ends at the first zero byte, as a BSTR does for the parser). Beyond "no crash, no hang",
// it aborts when a result breaks what the frame's background relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mdi/core/color_from_string.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::wstring Widen(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  return text;
}

std::wstring WithAsciiCase(std::wstring text, wchar_t first, wchar_t last, int shift) {
  for (wchar_t& c : text) {
    if (c >= first && c <= last) c = static_cast<wchar_t>(c + shift);
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = Widen(data, size);
  const uint32_t color = ColorFromString(text.c_str(), InvalidColor::kAllBits);
  const uint32_t unflagged = ColorFromString(text.c_str(), InvalidColor::kBit24);
  // The flag only chooses the invalid value.
  Require(color == unflagged || (color == 0xFFFFFFFF && unflagged == 0x01000000));
  // Only a number can reach past 24 bits; "#" texts are always a colour.
  const bool number = text[0] >= L'0' && text[0] <= L'9';
  if (!number) Require(color <= 0xFFFFFF || color == 0xFFFFFFFF);
  if (text[0] == L'#') Require(color <= 0xFFFFFF);
  // The letter case of A-Z never matters, in names and in hexadecimal digits alike.
  Require(ColorFromString(WithAsciiCase(text, L'A', L'Z', L'a' - L'A').c_str(),
                          InvalidColor::kAllBits) == color);
  Require(ColorFromString(WithAsciiCase(text, L'a', L'z', L'A' - L'a').c_str(),
                          InvalidColor::kAllBits) == color);
  return 0;
}
