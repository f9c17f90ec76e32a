#include "platform/core/member_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(IsPlainMemberName, AcceptsOrdinaryNames) {
  for (const std::string& name :
       std::vector<std::string>{"Velmar.ocx", "a", "a b.dll", ".hidden", "x..y.dll", "console.dll",
                                "com10.dll", "comx", "lpt.txt", "nul_.dll", "auxiliary.inf",
                                "caf\xC3\xA9.dll", "\xE6\x97\xA5\xE6\x9C\xAC.ocx",
                                "\xF0\x9F\x98\x80.dll", "~$tmp", std::string(255, 'n')}) {
    EXPECT_TRUE(IsPlainMemberName(name)) << name;
  }
}

TEST(IsPlainMemberName, RefusesPathsAndCharactersWindowsRejects) {
  std::vector<std::string> names = {
      ".",    "..",  "a/b", "a\\b", "..\\x.dll", "/x",   "c:x.dll", "a.dll:stream", "a<b",   "a>b",
      "a\"b", "a|b", "a?b", "a*b",  "a\tb",      "a\nb", "a\x7f",   "x.dll.",       "x.dll "};
  names.insert(names.end(), {"", std::string(256, 'n'), std::string("a\0b", 3)});
  for (const std::string& name : names) EXPECT_FALSE(IsPlainMemberName(name)) << name;
}

TEST(IsPlainMemberName, RefusesDeviceNamesWithAnyExtension) {
  for (const char* name :
       {"CON", "con", "Prn.txt", "aux.dll", "NUL.a.b", "nul .txt", "Com1.dll", "COM9", "com0.x",
        "LPT1", "lpt9.ocx", "COM\xC2\xB9", "lpt\xC2\xB3.dll", "conin$", "CONOUT$.txt"}) {
    EXPECT_FALSE(IsPlainMemberName(name)) << name;
  }
}

TEST(IsPlainMemberName, RefusesInvalidUtf8) {
  for (const char* name :
       {"\x80.dll", "a\xC3", "a\xE2\x82", "\xC0\xAF.dll" /* overlong '/' */, "\xE0\x80\xAF",
        "\xED\xA0\x80.dll" /* surrogate */, "\xF4\x90\x80\x80" /* above U+10FFFF */, "\xFF"}) {
    EXPECT_FALSE(IsPlainMemberName(name)) << name;
  }
}

TEST(EqualsNoCase, FoldsAsciiOnly) {
  EXPECT_TRUE(EqualsNoCase("Velmar.OCX", "velmar.ocx"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_FALSE(EqualsNoCase("a.dll", "a.dl"));
  EXPECT_FALSE(EqualsNoCase("a.dll", "b.dll"));
  // '@' and '`' sit next to 'A' and 'a' and must not fold together.
  EXPECT_FALSE(EqualsNoCase("@", "`"));
  EXPECT_FALSE(EqualsNoCase("\xC3\x89", "\xC3\xA9"));
}

}  // namespace
