#include "velmar/core/hand_off_protocol.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

TEST(InstallerCommandLine, CarriesUrlSavedCopyAndHandleAsTheirSettingsSay) {
  const std::wstring path = L"C:\\WEB APP\\KV3Installer.exe";
  const struct {
    const wchar_t* url;
    bool saveXml;
    const wchar_t* saved;
    int64_t handle;
    const wchar_t* expected;
  } cases[] = {
      {L"", false, L"", 66, L"C:\\WEB APP\\KV3Installer.exe 66"},
      {L"", true, L"C:\\T\\\\KV3TempInstaller.xml", 66, L"C:\\WEB APP\\KV3Installer.exe 66"},
      {L"http://s/u.xml", false, L"C:\\T\\x.xml", 66,
       L"C:\\WEB APP\\KV3Installer.exe http://s/u.xml 66"},
      {L"http://s/u.xml", true, L"C:\\T\\\\KV3TempInstaller.xml", 66,
       L"C:\\WEB APP\\KV3Installer.exe http://s/u.xml C:\\T\\\\KV3TempInstaller.xml 66"},
      // No copy saved: two spaces.
      {L"http://s/u.xml", true, L"", 1234, L"C:\\WEB APP\\KV3Installer.exe http://s/u.xml  1234"},
      {L"", false, L"", -5, L"C:\\WEB APP\\KV3Installer.exe -5"},
  };
  for (const auto& c : cases) {
    InstallerArguments arguments;
    arguments.installerPath = path;
    arguments.descriptorUrl = c.url;
    arguments.saveXml = c.saveXml;
    arguments.savedCopyPath = c.saved;
    arguments.dialogHandle = c.handle;
    EXPECT_EQ(InstallerCommandLine(arguments), c.expected);
  }
}

TEST(ResultTextWithin, ReadsUpToTheTerminatorButNeverPastTheSize) {
  const char terminated[] = "done\0tail";
  EXPECT_EQ(ResultTextWithin(terminated, sizeof(terminated)), "done");
  // Exactly three bytes on the heap: reading one more is caught by the address sanitizer.
  const std::unique_ptr<char[]> unterminated(new char[3]{'a', 'b', 'c'});
  EXPECT_EQ(ResultTextWithin(unterminated.get(), 3), "abc");
  EXPECT_EQ(ResultTextWithin(unterminated.get(), 2), "ab");
  EXPECT_EQ(ResultTextWithin(unterminated.get(), 0), "");
  EXPECT_EQ(ResultTextWithin(nullptr, 16), "");
  EXPECT_EQ(ResultTextWithin("", 1), "");
}

}  // namespace
