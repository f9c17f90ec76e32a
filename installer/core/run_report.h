#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Per-row outcomes of one installation run: "name;result" entries joined by ':'.
class CRunReport {
 public:
  void Clear() { text_.clear(); }
  void Append(std::wstring_view name, std::wstring_view result);
  const std::wstring& Text() const { return text_; }
  // The entries back as (name, result) pairs, for a reader of the report.
  std::vector<std::pair<std::wstring, std::wstring>> Entries() const;

 private:
  std::wstring text_;
};

// Replaces %1, %2, ... in a message text by the given inserts (positional, not printf-style).
// A '%' not followed by the number of an insert stays as it is.
std::wstring InsertPositional(std::wstring_view format, const std::vector<std::wstring>& inserts);
