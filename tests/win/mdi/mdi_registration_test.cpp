// regsvr32 on MDI.dll: exactly the frame's keys and the type library, taken back by /u; views
// are no class of their own.
#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <filesystem>
#include <string>

#include "common/scoped_bstr.h"
#include "common/scoped_owner.h"
#include "tests/win/com_server/registry_snapshot.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"

namespace {

const wchar_t kClassKey[] = L"CLSID\\{6AF88017-4E4E-4D9E-B429-84D8AFD3A7BE}";
const GUID kLibId = {0xce7f5e07, 0xff25, 0x4a75, {0xa9, 0xd9, 0x28, 0xbb, 0xfa, 0x3b, 0x27, 0x80}};
const CLSID kFrame = {0x6af88017, 0x4e4e, 0x4d9e, {0xb4, 0x29, 0x84, 0xd8, 0xaf, 0xd3, 0xa7, 0xbe}};
const IID kChildView = {
    0x7758fc80, 0x753f, 0x4ce0, {0xae, 0x9a, 0xe7, 0x71, 0x4a, 0xf2, 0x7d, 0xa7}};

DWORD RunRegsvr32(const std::wstring& arguments) {
  std::wstring command = L"regsvr32.exe /s " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return ~0u;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread(process.hThread);
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

bool KeyExists(const std::wstring& path) {
  return !Snapshot(HKEY_CLASSES_ROOT, path.c_str()).empty();
}

TEST(MDIRegistration, Regsvr32WritesExactlyTheListedKeysAndUnregistersThem) {
  TempFolder folder(L"mdi registration");
  const std::wstring module = folder / L"MDI.dll";
  const auto built = std::filesystem::path(InBuildTree(L"bin/MDI.dll"));
  ASSERT_TRUE(std::filesystem::copy_file(built, module)) << built;

  ASSERT_EQ(RunRegsvr32(L"\"" + module + L"\""), 0u);
  const RegistrySnapshot expected_class = {
      {L"", {{L"", L"sz:MDIFrame Class"}}},
      {L"progid", {{L"", L"sz:MDI.MDIFrame.1"}}},
      {L"versionindependentprogid", {{L"", L"sz:MDI.MDIFrame"}}},
      {L"programmable", {}},
      {L"inprocserver32", {{L"", L"sz:" + module}, {L"threadingmodel", L"sz:Apartment"}}},
      {L"control", {}},
      {L"insertable", {}},
      {L"toolboxbitmap32", {{L"", L"sz:" + module + L", 101"}}},
      {L"miscstatus", {{L"", L"sz:0"}}},
      {L"miscstatus\\1", {{L"", L"sz:131473"}}},
      {L"typelib", {{L"", L"sz:{CE7F5E07-FF25-4A75-A9D9-28BBFA3B2780}"}}},
      {L"version", {{L"", L"sz:1.0"}}}};
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, kClassKey), expected_class);
  const RegistrySnapshot expected_progid = {
      {L"", {{L"", L"sz:MDIFrame Class"}}},
      {L"clsid", {{L"", L"sz:{6AF88017-4E4E-4D9E-B429-84D8AFD3A7BE}"}}}};
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L"MDI.MDIFrame.1"), expected_progid);
  RegistrySnapshot expected_versionless = expected_progid;
  expected_versionless[L"curver"] = {{L"", L"sz:MDI.MDIFrame.1"}};
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, L"MDI.MDIFrame"), expected_versionless);
  ScopedBstr library_path;
  ASSERT_EQ(::QueryPathOfRegTypeLib(kLibId, 1, 0, 0x409, library_path.Receive()), S_OK);
  EXPECT_EQ(Lower(library_path.Get()), Lower(module));
  const std::wstring interfaces[] = {L"Interface\\{3741BB82-CFF5-42E3-9203-07239ED007E9}",
                                     L"Interface\\{7758FC80-753F-4CE0-AE9A-E7714AF27DA7}",
                                     L"Interface\\{E524F402-E606-49E1-8DAF-78422BC8CD10}"};
  for (const auto& key : interfaces) EXPECT_TRUE(KeyExists(key)) << key;
  EXPECT_FALSE(KeyExists(L"CLSID\\{7758FC80-753F-4CE0-AE9A-E7714AF27DA7}")) << "views: no class";

  ASSERT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u);
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, kClassKey).empty());
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, L"MDI.MDIFrame.1").empty());
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, L"MDI.MDIFrame").empty());
  library_path.Reset();
  EXPECT_NE(::QueryPathOfRegTypeLib(kLibId, 1, 0, 0x409, library_path.Receive()), S_OK);
  for (const auto& key : interfaces) EXPECT_FALSE(KeyExists(key)) << key;
  EXPECT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u) << "what is gone already";
}

}  // namespace
