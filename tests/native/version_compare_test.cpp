#include "velmar/core/version_compare.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Comparison {
  const wchar_t* installed;
  const wchar_t* required;
  int expected;
};

TEST(CompareVersions, ComparesFieldByFieldAsNumbers) {
  const Comparison cases[] = {
      {L"3, 0, 0, 8", L"3,0,0,8", 0},  // spaces go first
      {L"3,0,0,10", L"3,0,0,9", 1},    // numbers, not texts
      {L"3,0,0,8", L"3,0,0,9", -1},
      {L"4,0,0,0", L"3,9,9,9", 1},
      {L"1 0,2", L"10,2", 0},  // a space inside a number joins its digits
      {L"", L"", 0},
      {L"", L"1", -1},
      {L"1", L"", 1},
      {L"-1,0", L"0,0", -1},
      {L"+5", L"5", 0},
      {L"\t7", L"7", 0},       // other white space leads a number
      {L"7x", L"7", 0},        // reading stops at the first non-digit
      {L"1,,3", L"1,0,3", 0},  // a field without digits is 0
      {L"1,a,3", L"1,0,3", 0},
      {L"3.9", L"3.10", 0},                // dots separate nothing: both read as 3
      {L"99999999999", L"2147483647", 0},  // the range's ends hold
      {L"2147483648", L"2147483647", 0},
      {L"-99999999999", L"-2147483648", 0},
      {L"-2147483649", L"-2147483647", -1},
  };
  for (const Comparison& c : cases) {
    EXPECT_EQ(CompareVersions(c.installed, c.required), c.expected)
        << "installed \"" << testing::PrintToString(std::wstring(c.installed)) << "\" required \""
        << testing::PrintToString(std::wstring(c.required)) << "\"";
  }
}

TEST(CompareVersions, OnlyOneTextHavingAFurtherFieldGivesMinusTwo) {
  const Comparison cases[] = {
      {L"1,2,3,4", L"1,2,3", -2},
      {L"1,2,3", L"1,2,3,4", -2},
      {L"1,2,3,4", L"1,3", -2},  // the second fields are never compared
      {L"1,2,3,4", L"2", -2},    // nor the first
      {L"1,2,3,4", L"2,0", -1},  // both have a comma: the first fields decide
      {L"3,0,0,8", L"3.0.0.8", -2},
      {L"1,", L"1", -2},
      {L",", L",", 0},
  };
  for (const Comparison& c : cases) {
    EXPECT_EQ(CompareVersions(c.installed, c.required), c.expected)
        << testing::PrintToString(std::wstring(c.installed)) << " against "
        << testing::PrintToString(std::wstring(c.required));
  }
}

TEST(CompareVersions, SwappingTheTextsTurnsTheOrderAround) {
  const std::vector<std::wstring> texts = {L"",      L"1",       L"1,2",     L"1,2,3,4",
                                           L"1,3",   L"2,0",     L"3.0.0.8", L"3,0,0,8",
                                           L"-5,+5", L" 0 , 1 ", L"x,y",     L"4294967296"};
  for (const std::wstring& a : texts) {
    for (const std::wstring& b : texts) {
      const int forward = CompareVersions(a, b);
      const int backward = CompareVersions(b, a);
      EXPECT_EQ(forward == -2 ? -2 : -forward, backward)
          << testing::PrintToString(a) << " and " << testing::PrintToString(b);
    }
  }
}

}  // namespace
