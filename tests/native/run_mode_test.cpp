#include "installer/core/run_mode.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Test tails are plain ASCII, so narrowing them is enough for failure messages.
std::string Narrow(std::wstring_view s) { return std::string(s.begin(), s.end()); }

RunMode Mode(bool autoStart, bool confirmBrowserClose, bool finalMessage) {
  return RunMode{autoStart, confirmBrowserClose, finalMessage};
}

TEST(RunMode, EachArgumentSelectsItsRow) {
  const std::vector<std::pair<std::wstring, RunMode>> table = {
      {L"", Mode(true, false, false)}, {L"1", Mode(false, false, false)},
      {L"2", Mode(true, true, false)}, {L"3", Mode(false, true, false)},
      {L"4", Mode(true, false, true)}, {L"5", Mode(false, false, true)},
      {L"6", Mode(true, true, true)},  {L"7", Mode(false, true, true)},
  };
  for (const auto& [tail, expected] : table) {
    const RunMode got = RunModeFromCommandLine(tail);
    EXPECT_EQ(got.autoStart, expected.autoStart) << '"' << Narrow(tail) << '"';
    EXPECT_EQ(got.confirmBrowserClose, expected.confirmBrowserClose) << '"' << Narrow(tail) << '"';
    EXPECT_EQ(got.finalMessage, expected.finalMessage) << '"' << Narrow(tail) << '"';
  }
}

TEST(RunMode, AnythingElseIsManualStartWithNothingAsked) {
  // The tail is compared as a whole, so near misses must not pick a mode.
  for (const wchar_t* tail :
       {L"0", L"1 ", L" 1", L"7 ", L"8", L"9", L"12", L"21", L"1 2", L"a", L"-1", L"\t"}) {
    EXPECT_EQ(RunModeFromCommandLine(tail), Mode(false, false, false))
        << '"' << Narrow(tail) << '"';
  }
}

TEST(CommandLineTail, DropsProgramNameAndLeadingBlanksOnly) {
  EXPECT_EQ(CommandLineTail(L"installer.exe 5"), L"5");
  EXPECT_EQ(CommandLineTail(L"\"C:\\Program Files\\x\\installer.exe\" 3"), L"3");
  EXPECT_EQ(CommandLineTail(L"installer.exe"), L"");
  EXPECT_EQ(CommandLineTail(L"installer.exe   1 "), L"1 ");
  EXPECT_EQ(CommandLineTail(L"installer.exe 1 2"), L"1 2");
  EXPECT_EQ(CommandLineTail(L"\"C:\\a b\\installer.exe"), L"");
  EXPECT_EQ(CommandLineTail(L""), L"");
}

TEST(CommandLineTail, FullCommandLineGivesExpectedMode) {
  EXPECT_EQ(RunModeFromCommandLine(CommandLineTail(L"\"C:\\Program Files\\x\\installer.exe\"")),
            Mode(true, false, false));
  EXPECT_EQ(RunModeFromCommandLine(CommandLineTail(L"installer.exe  6")), Mode(true, true, true));
  // A trailing blank survives the tail and so falls back to manual start.
  EXPECT_EQ(RunModeFromCommandLine(CommandLineTail(L"installer.exe 6 ")),
            Mode(false, false, false));
}

}  // namespace
