#include "velmar/core/version_compare.h"

#include <limits>
#include <string>

namespace {

bool IsWhiteSpace(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

std::wstring WithoutSpaces(std::wstring_view text) {
  std::wstring result;
  result.reserve(text.size());
  for (const wchar_t c : text) {
    if (c != L' ') result.push_back(c);
  }
  return result;
}

int Order(int32_t a, int32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

}  // namespace

int32_t VersionFieldValue(std::wstring_view field) {
  size_t at = 0;
  while (at < field.size() && IsWhiteSpace(field[at])) ++at;
  bool negative = false;
  if (at < field.size() && (field[at] == L'+' || field[at] == L'-')) {
    negative = field[at] == L'-';
    ++at;
  }
  // One past the largest magnitude: enough to tell either end of the range, never overflowing.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; at < field.size() && field[at] >= L'0' && field[at] <= L'9'; ++at) {
    magnitude = magnitude * 10 + (field[at] - L'0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(value);
}

int CompareVersions(std::wstring_view installed, std::wstring_view required) {
  const std::wstring a = WithoutSpaces(installed);
  const std::wstring b = WithoutSpaces(required);
  const std::wstring_view av(a);
  const std::wstring_view bv(b);
  size_t aStart = 0;
  size_t bStart = 0;
  for (;;) {
    const size_t aComma = av.find(L',', aStart);
    const size_t bComma = bv.find(L',', bStart);
    if (aComma == std::wstring_view::npos && bComma == std::wstring_view::npos) {
      return Order(VersionFieldValue(av.substr(aStart)), VersionFieldValue(bv.substr(bStart)));
    }
    if (aComma == std::wstring_view::npos || bComma == std::wstring_view::npos) return -2;
    const int order = Order(VersionFieldValue(av.substr(aStart, aComma - aStart)),
                            VersionFieldValue(bv.substr(bStart, bComma - bStart)));
    if (order != 0) return order;
    aStart = aComma + 1;
    bStart = bComma + 1;
  }
}
