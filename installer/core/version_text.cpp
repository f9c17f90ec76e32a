#include "installer/core/version_text.h"

#include <cwchar>

namespace {

// One signed decimal number at text[pos]; advances pos past it. False when there is none.
bool ReadNumber(std::wstring_view text, size_t& pos, int64_t& value) {
  size_t i = pos;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  const size_t digits = i;
  int64_t number = 0;
  while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
    // Only the low 16 bits are kept in the end; bounding the value avoids overflow on long input.
    number = (number * 10 + (text[i] - L'0')) % 0x10000;
    ++i;
  }
  if (i == digits) return false;
  value = negative ? -number : number;
  pos = i;
  return true;
}

std::wstring Format(std::wstring_view prefix, const wchar_t* format,
                    const std::array<unsigned, 4>& v) {
  wchar_t numbers[64];
  std::swprintf(numbers, 64, format, v[0], v[1], v[2], v[3]);
  return std::wstring(prefix) + numbers;
}

}  // namespace

VersionPair ParseVersionText(std::wstring_view text) {
  uint32_t parts[4] = {0, 0, 0, 0};
  size_t pos = 0;
  for (int n = 0; n < 4; ++n) {
    if (n > 0) {
      if (pos >= text.size() || text[pos] != L',') break;
      ++pos;
    }
    int64_t value = 0;
    if (!ReadNumber(text, pos, value)) break;
    parts[n] = static_cast<uint32_t>(value) & 0xFFFF;
  }
  return VersionPair{parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

std::wstring FormatWindowTitle(std::wstring_view prefix, const std::array<unsigned, 4>& version) {
  return Format(prefix, L"V%u.%u.%u.%u", version);
}

std::wstring FormatAboutText(std::wstring_view prefix, const std::array<unsigned, 4>& version) {
  return Format(prefix, L"Version %u,%u,%u,%u", version);
}
