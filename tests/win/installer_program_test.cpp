#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "temp_folder.h"

namespace {

// The built program, beside the tests' folder.
std::filesystem::path BuiltInstaller() {
  return std::filesystem::path(ModuleFilePath(nullptr)).parent_path().parent_path() / L"bin" / L"installer.exe";
}

struct Process {
  ScopedHandle handle;
  DWORD id = 0;
};

Process Start(const std::filesystem::path& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  Process process;
  if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       program.parent_path().c_str(), &startup, &info)) {
    ::CloseHandle(info.hThread);
    process.handle.Reset(info.hProcess);
    process.id = info.dwProcessId;
  }
  return process;
}

struct WindowSearch {
  DWORD id;
  HWND found;
};

BOOL CALLBACK MatchInstallerWindow(HWND window, LPARAM lParam) {
  auto* s = reinterpret_cast<WindowSearch*>(lParam);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != s->id || ::GetWindow(window, GW_OWNER) != nullptr) return TRUE;
  wchar_t title[64] = {};
  ::GetWindowTextW(window, title, 64);
  if (wcsncmp(title, L"Local Installer V", 17) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

HWND FindTopWindowOf(DWORD processId) {
  WindowSearch search{processId, nullptr};
  ::EnumWindows(MatchInstallerWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

class InstallerProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(BuiltInstaller())) << BuiltInstaller().string();
    program_ = folder_.Path() / L"installer.exe";
    std::filesystem::copy_file(BuiltInstaller(), program_);
  }
  TempFolder folder_{L"kovira program"};
  std::filesystem::path program_;
};

// In automatic mode the program runs through the catalog by itself and exits, whatever the
// download service makes of the CABs.
TEST_F(InstallerProgram, AutomaticModeRunsAndExitsByItself) {
  folder_.Touch(L"cabfiles\\Brenvo.cab");
  folder_.Touch(L"cabfiles\\Velmar.cab");
  Process process = Start(program_, L"");
  ASSERT_TRUE(process.handle.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.handle.Get(), 30000)) << "the program did not exit";
  DWORD code = 1;
  ::GetExitCodeProcess(process.handle.Get(), &code);
  EXPECT_EQ(0u, code);
}

// A manual mode waits for the user; its window carries the version in its title and closes on
// the close box.
TEST_F(InstallerProgram, ManualModeWaitsAndClosesOnRequest) {
  folder_.Touch(L"cabfiles\\Brenvo.cab");
  Process process = Start(program_, L"1");
  ASSERT_TRUE(process.handle.IsValid());
  HWND window = nullptr;
  for (int i = 0; i < 100 && window == nullptr; ++i) {
    ::Sleep(100);
    window = FindTopWindowOf(process.id);
  }
  ASSERT_NE(nullptr, window) << "no main window appeared";
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(process.handle.Get(), 500));
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.handle.Get(), 10000));
}

}  // namespace
