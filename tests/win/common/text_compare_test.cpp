// Case-insensitive comparison of names, the way the file system and the registry compare them.
#include "common/text_compare.h"

#include <gtest/gtest.h>

namespace {

TEST(TextCompare, FoldsLetterCaseOnlyAndWholeCharacters) {
  struct Case {
    const wchar_t* text;
    const wchar_t* other;
    bool equals, starts, ends, contains;
  };
  const Case cases[] = {
      {L"Kelmoth.DLL", L"kelmoth.dll", true, true, true, true},
      {L"C:\\PROGRAM FILES\\KELMOTH.DLL", L"Kelmoth.dll", false, false, true, true},
      {L"C:\\Windows\\Downloaded Program Files", L"c:\\windows", false, true, false, true},
      {L"\x00DC"
       L"ber",
       L"\x00FC"
       L"BER",
       true, true, true, true},                       // beyond ASCII too
      {L"abc", L"abcd", false, false, false, false},  // longer part
      {L"abc", L"", false, true, true, true},         // empty part
      {L"", L"", true, true, true, true},
      {L"a\0b", L"A", false, true, false, true},
  };
  for (const Case& c : cases) {
    const std::wstring_view text(c.text,
                                 c.text[0] == L'a' && c.text[1] == 0 ? 3 : std::wcslen(c.text));
    SCOPED_TRACE(testing::PrintToString(std::wstring(text)) + " / " +
                 testing::PrintToString(std::wstring(c.other)));
    EXPECT_EQ(EqualsNoCase(text, c.other), c.equals);
    EXPECT_EQ(StartsWithNoCase(text, c.other), c.starts);
    EXPECT_EQ(EndsWithNoCase(text, c.other), c.ends);
    EXPECT_EQ(ContainsNoCase(text, c.other), c.contains);
  }
}

}  // namespace
