#pragma once

#include <cstdint>

// What ColorFromString gives for a text that names no colour. The frame's BgColor always asks
// for kAllBits, so its background colour is then -1.
enum class InvalidColor : uint32_t {
  kAllBits = 0xFFFFFFFF,
  kBit24 = 0x01000000,
};

// The colour a BgColor text names, as a COLORREF (red in the low byte). The text ends at its
// first NUL; a null text names no colour.
// - "#" followed by up to six hexadecimal digits: #RRGGBB, or what was read of it before the
//   first other character (#F is red 0xF0); "#" alone, or with no digit after it, is black.
// - A leading decimal digit: the decimal number of the digits that start the text, of its first
//   19 characters only, used as the COLORREF itself; beyond 32 bits it names no colour.
// - Anything else: one of the 142 names of the colour table, with A-Z matching a-z and no other
//   letters folded.
uint32_t ColorFromString(const wchar_t* text, InvalidColor invalid);
