#include "installer/core/version_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ParseVersionText, PacksFourSixteenBitNumbers) {
  EXPECT_EQ(ParseVersionText(L"-1,-1,-1,-1"), (VersionPair{0xFFFFFFFFu, 0xFFFFFFFFu}));
  EXPECT_EQ(ParseVersionText(L"1,0,3,29"), (VersionPair{0x00010000u, 0x0003001Du}));
  EXPECT_EQ(ParseVersionText(L"0,0,0,0"), (VersionPair{0u, 0u}));
  // Each field keeps only its low 16 bits and never spills into its neighbour.
  EXPECT_EQ(ParseVersionText(L"65535,65536,2,70000"), (VersionPair{0xFFFF0000u, 0x00021170u}));
  EXPECT_EQ(ParseVersionText(L"-65537,0,0,0"), (VersionPair{0xFFFF0000u, 0u}));
}

TEST(ParseVersionText, MissingOrBadFieldsCountAsZero) {
  EXPECT_EQ(ParseVersionText(L"1,2"), (VersionPair{0x00010002u, 0u}));
  EXPECT_EQ(ParseVersionText(L"1,2,3"), (VersionPair{0x00010002u, 0x00030000u}));
  EXPECT_EQ(ParseVersionText(L"abc"), (VersionPair{0u, 0u}));
  EXPECT_EQ(ParseVersionText(L""), (VersionPair{0u, 0u}));
  // Reading stops at the first field that is not a number.
  EXPECT_EQ(ParseVersionText(L"1,x,3,4"), (VersionPair{0x00010000u, 0u}));
}

TEST(ParseVersionText, HugeNumberDoesNotOverflow) {
  const std::wstring huge(200, L'9');
  // 10^200 - 1 is congruent to 0xFFFF modulo 0x10000 (10^200 is a multiple of 2^16).
  EXPECT_EQ(ParseVersionText(huge + L",1,2,3"), (VersionPair{0xFFFF0001u, 0x00020003u}));
  EXPECT_EQ(ParseVersionText(L"-" + huge), (VersionPair{0x00010000u, 0u}));
}

TEST(VersionText, FormatsTitleAndAboutText) {
  EXPECT_EQ(FormatWindowTitle(L"Local Installer ", {1, 0, 3, 29}), L"Local Installer V1.0.3.29");
  EXPECT_EQ(FormatAboutText(L"Local Installer ", {1, 0, 3, 29}),
            L"Local Installer Version 1,0,3,29");
  EXPECT_EQ(FormatWindowTitle(L"", {65535, 65535, 65535, 65535}), L"V65535.65535.65535.65535");
}

}  // namespace
