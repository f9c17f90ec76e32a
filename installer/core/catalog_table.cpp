#include "installer/core/catalog_table.h"

std::vector<std::wstring> NamesIn(std::wstring_view names) {
  std::vector<std::wstring> result;
  size_t start = 0;
  while (start < names.size()) {
    const size_t blank = names.find(L' ', start);
    const size_t end = blank == std::wstring_view::npos ? names.size() : blank;
    if (end > start) result.emplace_back(names.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

unsigned MinConnectionsFor(std::wstring_view clsid) {
  for (const CatalogRow& row : kCatalogRows) {
    if (row.minConnections != 0 && clsid == row.clsid) return row.minConnections;
  }
  return 0;
}

std::size_t ChartControlRow() {
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    if (!NamesIn(kCatalogRows[i].companions).empty()) return i;
  }
  return kCatalogSize;
}

std::wstring ChartControlName() {
  const std::size_t row = ChartControlRow();
  if (row == kCatalogSize) return {};
  return NamesIn(kCatalogRows[row].companions).front();
}
