#include "common/text_compare.h"

#include <windows.h>

#include <climits>
#include <string>

namespace {

std::wstring UpperCased(std::wstring_view text) {
  std::wstring upper(text);
  if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

}  // namespace

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  if (a.size() > INT_MAX) return UpperCased(a) == UpperCased(b);
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool ContainsNoCase(std::wstring_view text, std::wstring_view part) {
  if (part.empty()) return true;
  if (text.size() < part.size()) return false;
  return UpperCased(text).find(UpperCased(part)) != std::wstring::npos;
}
