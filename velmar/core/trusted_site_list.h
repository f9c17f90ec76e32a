#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The longest site entry kept; characters beyond it are dropped.
inline constexpr size_t kMaxSiteLength = 32767;

// The sites of a TrustZone text: ";" ends an entry, so an empty entry between two ";" (or
// before a leading one) counts, but none after a final ";"; every backslash is dropped; every
// other character, spaces and line breaks included, belongs to its entry.
std::vector<std::wstring> SplitSiteList(std::wstring_view text);

// Whether the site is in the zone already: its text contains one of the zone's mappings
// (case-sensitive).
bool IsSiteMapped(std::wstring_view site, const std::vector<std::wstring>& mappings);

// The question put to the user: the heading, then each site on a line of its own.
std::wstring SiteQuestion(std::wstring_view heading, const std::vector<std::wstring>& sites);
