#pragma once

#include <cstdint>
#include <string_view>

// Component version texts are decimal fields separated by commas ("3,0,0,8"); spaces anywhere
// are ignored and any field count is accepted. Dots separate nothing: "3.0.0.8" is one field.

// A field as a number: leading white space and one sign are accepted, reading stops at the
// first non-digit, a field without digits is 0, and values beyond the signed 32-bit range stop
// at its ends.
int32_t VersionFieldValue(std::wstring_view field);

// Compares the installed version with the required one, field by field and numerically:
// -1 when installed is lower, 1 when higher, 0 when equal, -2 when only one of the texts has
// a further field at the point where the other has none (the fields before being equal).
int CompareVersions(std::wstring_view installed, std::wstring_view required);
