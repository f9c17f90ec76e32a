#include "mdi/core/color_from_string.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

constexpr uint32_t kInvalid = 0xFFFFFFFF;
constexpr uint32_t kRed = 0x0000FF;  // COLORREF: red in the low byte

struct Case {
  const wchar_t* text;
  uint32_t expected;
};

void ExpectColors(std::initializer_list<Case> cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(ColorFromString(c.text, InvalidColor::kAllBits), c.expected)
        << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(ColorFromString, RedReadsTheSameAsHexNameAndNumber) {
  ExpectColors({{L"#FF0000", kRed}, {L"red", kRed}, {L"RED", kRed}, {L"255", kRed}});
}

TEST(ColorFromString, HexDigitsFillRedGreenBlueHighNibbleFirst) {
  ExpectColors({
      {L"#", 0},      // nothing follows: black
      {L"#F", 0xF0},  // red 0xF0
      {L"#123", 0x3012},
      {L"#123456", 0x563412},
      {L"#abcdef", 0xEFCDAB},    // either case
      {L"#12345678", 0x563412},  // six digits at most
      {L"#12G456", 0x12},        // reading stops at the first other character
      {L"#xyz", 0},              // never the invalid value
  });
}

TEST(ColorFromString, LeadingDigitsAreTheColorRefItself) {
  ExpectColors({
      {L"16711680", 0xFF0000},
      {L"255abc", 0xFF},  // the digits up to the first non-digit
      {L"25\0005", 25},   // or the end of the text
      {L"4294967294", 0xFFFFFFFE},
      {L"4294967296", kInvalid},  // beyond 32 bits
      {L"99999999999999999999999", kInvalid},
      {L"0000000000000000255", 0xFF},   // 19 characters are read
      {L"00000000000000000002550", 0},  // the 20th is not
      {L" 255", kInvalid},              // no digit first: a name, and none matches
  });
}

TEST(ColorFromString, NamesComeFromTheTableFoldingOnlyAToZ) {
  ExpectColors({
      {L"default", 0xFFFFFF},
      {L"none", 0xFF0000},  // #0000FF, pure blue
      {L"darkgray", 0xA9A9A9},
      {L"navy", 0x800000},
      {L"cornflower", 0xED9564},
      {L"fuchia", 0xFF00FF},
      {L"LightGoldenrodYellow", 0xD2FAFA},
      {L"lightgrey", 0xD3D3D3},
      {L"red\0junk", kRed},           // the text ends at its first NUL
      {L"cornflowerblue", kInvalid},  // the CSS spellings are no names here
      {L"fuchsia", kInvalid},
      {L"lightgray", kInvalid},
      {L"re", kInvalid},  // whole names only
      {L"redd", kInvalid},
      {L"\u212Ahaki", kInvalid},  // KELVIN SIGN is not K
      {L"wh\u0130te", kInvalid},  // nor is dotted capital I an I
      {L"", kInvalid},
  });
}

TEST(ColorFromString, TheFlagChoosesTheInvalidValue) {
  for (const wchar_t* text : {static_cast<const wchar_t*>(nullptr), L"fuchsia", L"4294967296"}) {
    const std::string shown = text ? testing::PrintToString(std::wstring(text)) : "null";
    EXPECT_EQ(ColorFromString(text, InvalidColor::kAllBits), 0xFFFFFFFFu) << shown;
    EXPECT_EQ(ColorFromString(text, InvalidColor::kBit24), 0x01000000u) << shown;
  }
  // A colour stays one whatever the flag.
  EXPECT_EQ(ColorFromString(L"red", InvalidColor::kBit24), kRed);
  EXPECT_EQ(ColorFromString(L"#", InvalidColor::kBit24), 0u);
}

}  // namespace
