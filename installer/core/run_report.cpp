#include "installer/core/run_report.h"

void CRunReport::Append(std::wstring_view name, std::wstring_view result) {
  if (!text_.empty()) text_ += L':';
  text_.append(name).append(L";").append(result);
}

std::vector<std::pair<std::wstring, std::wstring>> CRunReport::Entries() const {
  std::vector<std::pair<std::wstring, std::wstring>> entries;
  if (text_.empty()) return entries;
  size_t start = 0;
  for (;;) {
    const size_t end = text_.find(L':', start);
    const std::wstring entry =
        text_.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const size_t split = entry.find(L';');
    if (split == std::wstring::npos) {
      entries.emplace_back(entry, std::wstring());
    } else {
      entries.emplace_back(entry.substr(0, split), entry.substr(split + 1));
    }
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return entries;
}

std::wstring InsertPositional(std::wstring_view format, const std::vector<std::wstring>& inserts) {
  std::wstring out;
  out.reserve(format.size());
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] >= L'1' &&
        format[i + 1] <= L'9') {
      const size_t index = static_cast<size_t>(format[i + 1] - L'1');
      if (index < inserts.size()) {
        out += inserts[index];
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}
