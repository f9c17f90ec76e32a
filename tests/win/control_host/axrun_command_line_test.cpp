// axrun's command line and its exit codes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/axrun/command_line.h"
#include "tools/axrun/run_state.h"

using testing::HasSubstr;

namespace {

using Args = std::vector<std::wstring>;
using Params = std::vector<std::pair<std::wstring, std::wstring>>;

TEST(AxrunCommandLine, ControlAloneTakesTheDefaults) {
  AxrunOptions options;
  std::wstring error = L"untouched";
  ASSERT_TRUE(ParseCommandLine(Args{L"Velmar.Velmar"}, &options, &error));
  EXPECT_EQ(error, L"untouched");
  EXPECT_EQ(options.control, L"Velmar.Velmar");
  EXPECT_EQ(options.itemName, L"control");
  EXPECT_EQ(options.pageUrl, L"");
  EXPECT_EQ(options.script, L"");
  EXPECT_TRUE(options.bindHost);
  EXPECT_FALSE(options.defer);
  EXPECT_FALSE(options.help);
  EXPECT_TRUE(options.params.empty());
}

TEST(AxrunCommandLine, OptionsComeBeforeTheControlAndParamsAfter) {
  AxrunOptions options;
  std::wstring error;
  ASSERT_TRUE(
      ParseCommandLine(Args{L"--page", L"http://server/app/page.html", L"--name", L"updater",
                            L"--no-bind-host", L"--defer", L"--script", L"C:\\tests\\run.js",
                            L"C:\\bin\\Velmar.dll", L"XMLUrl=x.xml", L"Empty=", L"Formula=a=b"},
                       &options, &error))
      << testing::PrintToString(error);
  EXPECT_EQ(options.pageUrl, L"http://server/app/page.html");
  EXPECT_EQ(options.itemName, L"updater");
  EXPECT_FALSE(options.bindHost);
  EXPECT_TRUE(options.defer);
  EXPECT_EQ(options.script, L"C:\\tests\\run.js");
  EXPECT_EQ(options.control, L"C:\\bin\\Velmar.dll");
  EXPECT_EQ(options.params, (Params{{L"XMLUrl", L"x.xml"}, {L"Empty", L""}, {L"Formula", L"a=b"}}));
}

TEST(AxrunCommandLine, HelpNeedsNothingElse) {
  AxrunOptions options;
  std::wstring error;
  ASSERT_TRUE(ParseCommandLine(Args{L"--help"}, &options, &error));
  EXPECT_TRUE(options.help);
  EXPECT_THAT(std::wstring(UsageText()), HasSubstr(L"usage: axrun"));
}

TEST(AxrunCommandLine, BadCommandLinesSayWhatIsWrong) {
  struct Case {
    Args args;
    const wchar_t* said;
  };
  const Case cases[] = {
      {{}, L"no control"},
      {{L"--defer"}, L"no control"},
      {{L"--page"}, L"--page needs a value"},
      {{L"--script"}, L"--script needs a value"},
      {{L"--bogus", L"X.Y"}, L"unknown option --bogus"},
      {{L"X.Y", L"novalue"}, L"novalue"},
      {{L"X.Y", L"=value"}, L"=value"},
      {{L"--name", L"axrun", L"X.Y"}, L"axrun"},
      {{L"--name", L"2fast", L"X.Y"}, L"2fast"},
      {{L"--name", L"my-control", L"X.Y"}, L"my-control"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    AxrunOptions options;
    std::wstring error;
    EXPECT_FALSE(ParseCommandLine(c.args, &options, &error));
    EXPECT_THAT(error, HasSubstr(c.said));
  }
}

TEST(AxrunRunState, ExitCodeFollowsWhatHappened) {
  CRunState clean;
  EXPECT_EQ(clean.ExitCode(), 0);
  EXPECT_FALSE(clean.Ending());

  CRunState failed;
  failed.Fail();
  failed.Fail();
  EXPECT_EQ(failed.ExitCode(), 1);
  EXPECT_FALSE(failed.Ending());  // Fail lets the script go on

  CRunState broken;
  broken.Fail();
  broken.ScriptError();
  EXPECT_EQ(broken.ExitCode(), 2);
  EXPECT_TRUE(broken.Ending());
  broken.Quit(5);  // the script is stopped already
  EXPECT_EQ(broken.ExitCode(), 2);

  CRunState quit;
  quit.Quit(7);
  EXPECT_TRUE(quit.Ending());
  quit.ScriptError();  // the error Quit raises to stop the script
  quit.Quit(9);
  EXPECT_EQ(quit.ExitCode(), 7);

  CRunState failed_then_quit;
  failed_then_quit.Fail();
  failed_then_quit.Quit(0);
  EXPECT_EQ(failed_then_quit.ExitCode(), 1);
  CRunState failed_then_quit_code;
  failed_then_quit_code.Fail();
  failed_then_quit_code.Quit(4);
  EXPECT_EQ(failed_then_quit_code.ExitCode(), 4);
}

}  // namespace
