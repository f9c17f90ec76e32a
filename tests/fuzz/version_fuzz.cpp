// libFuzzer target for the version comparison. The input is two texts separated by the first
// '|' (each byte one character). Beyond "no crash, no hang", it aborts when a result breaks
// what the update decision relies on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "velmar/core/version_compare.h"

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

std::wstring WithoutSpaces(const std::wstring& text) {
  std::wstring result;
  for (const wchar_t c : text) {
    if (c != L' ') result.push_back(c);
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring input = Widen(data, size);
  const size_t bar = input.find(L'|');
  const std::wstring a = input.substr(0, bar);
  const std::wstring b = bar == std::wstring::npos ? std::wstring() : input.substr(bar + 1);

  const int forward = CompareVersions(a, b);
  Require(forward == -2 || forward == -1 || forward == 0 || forward == 1);
  // Swapping the texts turns the order around; -2 stays.
  const int backward = CompareVersions(b, a);
  Require(backward == (forward == -2 ? -2 : -forward));
  // A text equals itself; spaces never matter.
  Require(CompareVersions(a, a) == 0);
  Require(CompareVersions(WithoutSpaces(a), WithoutSpaces(b)) == forward);
  // -2 only when the comma counts differ.
  if (forward == -2) {
    Require(std::count(a.begin(), a.end(), L',') != std::count(b.begin(), b.end(), L','));
  }
  return 0;
}
