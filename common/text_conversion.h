#pragma once

#include <string>
#include <string_view>

// Conversions between UTF-16 and the 8-bit encodings that cross Windows boundaries.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);
