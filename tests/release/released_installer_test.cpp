// The installer.exe of an unpacked release, run in manual mode. Started by release_test.py with
// KOVIRA_RELEASE_DIR (the unpacked folder) and KOVIRA_RELEASE_VERSION (a.b.c.d, from the zip's
// name); not a test on its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/scoped_owner.h"
#include "installer/resource.h"

namespace {

std::wstring Setting(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? value : L"";
}

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

struct Search {
  DWORD process;
  const wchar_t* titleStart;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  auto* s = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != s->process || WindowText(window).rfind(s->titleStart, 0) != 0) return TRUE;
  s->found = window;
  return FALSE;
}

// The process's top-level window whose title starts so, waited for up to 10 s.
HWND WaitForWindow(DWORD process, const wchar_t* titleStart) {
  for (int i = 0; i < 100; ++i) {
    Search search{process, titleStart, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    ::Sleep(100);
  }
  return nullptr;
}

// Manual mode waits for the user with the release's version in its title and About box, and
// closes on request with exit code 0.
TEST(ReleasedInstaller, ManualModeShowsTheReleaseVersionAndClosesOnRequest) {
  const std::filesystem::path folder = Setting(L"KOVIRA_RELEASE_DIR");
  std::wstring version = Setting(L"KOVIRA_RELEASE_VERSION");
  ASSERT_TRUE(std::filesystem::exists(folder / L"installer.exe")) << folder.string();
  ASSERT_FALSE(version.empty());
  // A CAB to install, so that the program starts without complaint; Install is never pressed.
  std::filesystem::create_directories(folder / L"cabfiles");
  std::ofstream(folder / L"cabfiles" / L"Brenvo.cab").put('x');

  const std::filesystem::path program = folder / L"installer.exe";
  std::wstring commandLine = L"\"" + program.wstring() + L"\" 1";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, folder.c_str(), &startup, &info));
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);

  HWND main = WaitForWindow(info.dwProcessId, L"Local Installer V");
  ASSERT_NE(nullptr, main) << "no main window appeared";
  EXPECT_EQ(L"Local Installer V" + version, WindowText(main));
  EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(process.Get(), 500));  // waits for the user

  ::PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = WaitForWindow(info.dwProcessId, L"About Local Installer");
  ASSERT_NE(nullptr, about) << "no About box appeared";
  std::replace(version.begin(), version.end(), L'.', L',');
  EXPECT_EQ(L"Local Installer Version " + version,
            WindowText(::GetDlgItem(about, IDC_ABOUT_VERSION)));
  ::PostMessageW(about, WM_COMMAND, IDOK, 0);
  ::Sleep(200);

  ::PostMessageW(main, WM_CLOSE, 0, 0);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), 10000));
  DWORD code = 1;
  ::GetExitCodeProcess(process.Get(), &code);
  EXPECT_EQ(0u, code);
}

}  // namespace
