#pragma once

#include <string_view>

// Texts compared without regard to letter case, the way the file system and the registry
// compare names: ordinal, with the system's fixed upper-case table (i and I match whatever the
// user's language). Nothing here depends on the locale.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
bool EndsWithNoCase(std::wstring_view text, std::wstring_view suffix);
// True when part occurs in text; an empty part occurs in every text.
bool ContainsNoCase(std::wstring_view text, std::wstring_view part);
