// regsvr32 on MDI.dll: exactly the frame's keys and the type library, taken back by /u; views
// are no class of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "tests/win/com_server/control_registration.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"

namespace {

const ControlClass kFrameClass = {
    L"{6AF88017-4E4E-4D9E-B429-84D8AFD3A7BE}",
    L"{CE7F5E07-FF25-4A75-A9D9-28BBFA3B2780}",
    {0xce7f5e07, 0xff25, 0x4a75, {0xa9, 0xd9, 0x28, 0xbb, 0xfa, 0x3b, 0x27, 0x80}},
    L"MDI.MDIFrame",
    L"MDIFrame Class"};

TEST(MDIRegistration, Regsvr32WritesExactlyTheListedKeysAndUnregistersThem) {
  TempFolder folder(L"mdi registration");
  const std::wstring module = folder / L"MDI.dll";
  const auto built = std::filesystem::path(InBuildTree(L"bin/MDI.dll"));
  ASSERT_TRUE(std::filesystem::copy_file(built, module)) << built;

  ASSERT_EQ(RunRegsvr32(L"\"" + module + L"\""), 0u);
  ExpectRegistered(kFrameClass, module);
  const std::wstring interfaces[] = {L"Interface\\{3741BB82-CFF5-42E3-9203-07239ED007E9}",
                                     L"Interface\\{7758FC80-753F-4CE0-AE9A-E7714AF27DA7}",
                                     L"Interface\\{E524F402-E606-49E1-8DAF-78422BC8CD10}"};
  for (const auto& key : interfaces) EXPECT_TRUE(ClassesKeyExists(key)) << key;
  EXPECT_FALSE(ClassesKeyExists(L"CLSID\\{7758FC80-753F-4CE0-AE9A-E7714AF27DA7}"))
      << "views: no class";

  ASSERT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u);
  ExpectUnregistered(kFrameClass);
  for (const auto& key : interfaces) EXPECT_FALSE(ClassesKeyExists(key)) << key;
  EXPECT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u) << "what is gone already";
}

}  // namespace
