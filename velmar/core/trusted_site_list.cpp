#include "velmar/core/trusted_site_list.h"

std::vector<std::wstring> SplitSiteList(std::wstring_view text) {
  std::vector<std::wstring> sites;
  std::wstring current;
  for (const wchar_t c : text) {
    if (c == L';') {
      sites.push_back(std::move(current));
      current.clear();
    } else if (c != L'\\' && current.size() < kMaxSiteLength) {
      current.push_back(c);
    }
  }
  if (!current.empty()) sites.push_back(std::move(current));
  return sites;
}

bool IsSiteMapped(std::wstring_view site, const std::vector<std::wstring>& mappings) {
  for (const std::wstring& mapping : mappings) {
    if (site.find(mapping) != std::wstring_view::npos) return true;
  }
  return false;
}

std::wstring SiteQuestion(std::wstring_view heading, const std::vector<std::wstring>& sites) {
  std::wstring question(heading);
  for (const std::wstring& site : sites) {
    question += L"\r\n";
    question += site;
  }
  return question;
}
