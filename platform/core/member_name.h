#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// True when a CAB member name is a plain file name safe to create inside a folder: not empty,
// at most 255 bytes, no '\\' or '/', not "." or "..", no ':' (drive letters, streams), no control
// characters (< 0x20, 0x7F), none of  < > " | ? *, not a reserved device name (CON, PRN, AUX, NUL,
// COM0-COM9, LPT0-LPT9, COM/LPT with a superscript 1-3, CONIN$, CONOUT$; case-insensitive, with or
// without any extension, e.g. "con.txt", "Com1.dll", "nul .txt"), no trailing dot or space.
// Names are UTF-8: non-ASCII bytes are allowed as part of valid UTF-8; invalid UTF-8 is refused.
//
// Callers must hand the name to Windows through the wide-character APIs: an ANSI conversion with
// best-fit mapping could turn a full-width solidus into '/' after this check.
bool IsPlainMemberName(std::string_view name);

// Case-insensitive (ASCII) equality, for comparing file names as Windows does.
bool EqualsNoCase(std::string_view a, std::string_view b);

// True when text is well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Appends the UTF-8 bytes of one code point.
void AppendUtf8(std::string& out, uint32_t code);
