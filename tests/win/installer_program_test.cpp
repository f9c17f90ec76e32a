#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "installer/core/catalog_table.h"
#include "platform/component_store.h"
#include "tests/win/stand_in_turn.h"
#include "tests/win/temp_folder.h"

namespace {

// The built program, beside the tests' folder.
std::filesystem::path BuiltInstaller() {
  return std::filesystem::path(ModuleFilePath(nullptr)).parent_path().parent_path() / L"bin" /
         L"installer.exe";
}

struct Process {
  ScopedHandle handle;
  DWORD id = 0;
};

Process Start(const std::filesystem::path& program, const std::wstring& arguments) {
  std::wstring commandLine =
      L"\"" + program.wstring() + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
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

BOOL CALLBACK MatchMessageBox(HWND window, LPARAM lParam) {
  auto* s = reinterpret_cast<WindowSearch*>(lParam);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  wchar_t className[16] = {};
  wchar_t title[64] = {};
  ::GetClassNameW(window, className, 16);
  ::GetWindowTextW(window, title, 64);
  // The program's message boxes carry its base name; its main dialog, its title.
  if (owner != s->id || wcscmp(className, L"#32770") != 0 || wcscmp(title, L"installer") != 0)
    return TRUE;
  s->found = window;
  return FALSE;
}

// Waits for the process to exit, answering its message boxes with OK; their texts, in order.
std::vector<std::wstring> WaitAnsweringMessages(const Process& process, DWORD timeoutMs) {
  std::vector<std::wstring> texts;
  const DWORD start = ::GetTickCount();
  while (::WaitForSingleObject(process.handle.Get(), 100) == WAIT_TIMEOUT) {
    if (::GetTickCount() - start > timeoutMs) {
      ADD_FAILURE() << "the program did not exit";
      break;
    }
    WindowSearch search{process.id, nullptr};
    ::EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) continue;
    wchar_t text[512] = {};
    ::GetDlgItemTextW(search.found, 0xFFFF, text, 512);  // the box's text
    if (texts.empty() || texts.back() != text) texts.push_back(text);
    ::PostMessageW(search.found, WM_COMMAND, IDOK, 0);
  }
  return texts;
}

// The start of the warning a run with failed rows ends with.
std::wstring FailedRows(size_t failed, size_t found) {
  return std::to_wstring(failed) + L" of " + std::to_wstring(found) +
         L" components could not be installed.";
}

std::filesystem::path BuildCabs(const wchar_t* kind) {
  return BuiltInstaller().parent_path().parent_path() / kind;
}

const CatalogRow* RowForCab(const std::wstring& cab) {
  for (const auto& row : kCatalogRows) {
    if (_wcsicmp(row.cabName, cab.c_str()) == 0) return &row;
  }
  return nullptr;
}

std::wstring WindowsFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetWindowsDirectoryW(path, MAX_PATH);
  return path;
}

// Entries directly in a folder whose name contains part.
bool AnyFileNamed(const std::filesystem::path& folder, const std::wstring& part) {
  std::error_code ignored;
  for (auto it = std::filesystem::directory_iterator(folder, ignored);
       it != std::filesystem::directory_iterator(); it.increment(ignored)) {
    if (it->path().filename().wstring().find(part) != std::wstring::npos) return true;
  }
  return false;
}

class InstallerProgram : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(BuiltInstaller())) << BuiltInstaller().string();
    program_ = folder_.Path() / L"installer.exe";
    std::filesystem::copy_file(BuiltInstaller(), program_);
  }
  // Copies every CAB of a build folder into the program's "cabfiles"; returns their names.
  std::vector<std::wstring> AddCabs(const wchar_t* kind) {
    std::vector<std::wstring> names;
    std::filesystem::create_directories(folder_.Path() / L"cabfiles");
    for (const auto& entry : std::filesystem::directory_iterator(BuildCabs(kind))) {
      std::filesystem::copy_file(entry.path(),
                                 folder_.Path() / L"cabfiles" / entry.path().filename());
      names.push_back(entry.path().filename().wstring());
    }
    return names;
  }

  // Runs the program in its automatic mode until it exits; the texts of the messages it showed.
  std::vector<std::wstring> RunToTheEnd() {
    StandInTurn turn;
    Process process = Start(program_, L"");
    EXPECT_TRUE(process.handle.IsValid());
    if (!process.handle.IsValid()) return {};
    return WaitAnsweringMessages(process, 60000);
  }

  // The component is installed in the store folder from this program's CAB.
  void ExpectInstalled(const std::wstring& cab) {
    SCOPED_TRACE(cab);
    const CatalogRow* row = RowForCab(cab);
    ASSERT_NE(nullptr, row);
    const std::wstring module = WindowsFolder() + L"\\Downloaded Program Files\\" + row->moduleName;
    EXPECT_EQ(module, CComponentStore::RegisteredServer(row->clsid).value_or(L"(none)"));
    RegKey unit;
    ASSERT_EQ(
        ERROR_SUCCESS,
        unit.Open(HKEY_LOCAL_MACHINE,
                  std::wstring(L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") +
                      row->clsid + L"\\DownloadInformation"));
    EXPECT_EQ((folder_.Path() / L"cabfiles" / cab).wstring(),
              unit.ReadString(L"CODEBASE").value_or(L""));
  }

  TempFolder folder_{L"kovira program"};
  std::filesystem::path program_;
};

// In automatic mode the program runs through the catalog by itself and exits, whatever the
// download service makes of the CABs; rows that failed are not passed off as success: a warning
// says how many, and where the log is, and the program exits once it is answered.
TEST_F(InstallerProgram, AutomaticModeRunsAndExitsByItself) {
  folder_.Touch(L"cabfiles\\Brenvo.cab");
  folder_.Touch(L"cabfiles\\Velmar.cab");
  StandInTurn turn;
  Process process = Start(program_, L"");
  ASSERT_TRUE(process.handle.IsValid());
  const std::vector<std::wstring> texts = WaitAnsweringMessages(process, 30000);
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(0u, texts[0].find(FailedRows(2, 2))) << texts[0];
  EXPECT_NE(std::wstring::npos, texts[0].find((folder_.Path() / L"installer.log").wstring()))
      << texts[0];
  DWORD code = 1;
  ::GetExitCodeProcess(process.handle.Get(), &code);
  EXPECT_EQ(0u, code);
}

// Over the sample CABs the program installs every component, then closes by itself.
TEST_F(InstallerProgram, InstallsEverySampleComponent) {
  const auto cabs = AddCabs(L"cabfiles");
  ASSERT_FALSE(cabs.empty());
  EXPECT_EQ(std::vector<std::wstring>{}, RunToTheEnd());  // no message: all went well
  for (const auto& cab : cabs) ExpectInstalled(cab);
}

// Bad CABs among good ones: the good ones are installed, nothing lands outside the store, and
// the run still ends.
TEST_F(InstallerProgram, BadCabsDoNotStopTheRun) {
  const auto good = AddCabs(L"cabfiles");
  const auto bad = AddCabs(L"badcabs");
  const std::vector<std::wstring> texts = RunToTheEnd();
  ASSERT_EQ(1u, texts.size());
  EXPECT_EQ(0u, texts[0].find(FailedRows(bad.size(), good.size() + bad.size()))) << texts[0];
  for (const auto& cab : good) ExpectInstalled(cab);
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  // Where escaping names would land: beside the private extraction folder, the drive's root, the
  // program's own folders, the Windows folder and the store.
  for (const std::filesystem::path& folder :
       {std::filesystem::path(temp), std::filesystem::path(L"C:\\"), folder_.Path(),
        folder_.Path() / L"cabfiles", std::filesystem::path(WindowsFolder()),
        std::filesystem::path(WindowsFolder()) / L"Downloaded Program Files"}) {
    EXPECT_FALSE(AnyFileNamed(folder, L"evil")) << folder.string();
  }
  EXPECT_FALSE(AnyFileNamed(temp, L"kvcd-"));
  // The hostile component's own module was not installed either: its CAB was refused whole.
  EXPECT_FALSE(CComponentStore::RegisteredServer(RowForCab(L"Norvak.cab")->clsid).has_value());
}

// A manual mode waits for the user; its window carries the version in its title and closes on
// the close box.
TEST_F(InstallerProgram, ManualModeWaitsAndClosesOnRequest) {
  folder_.Touch(L"cabfiles\\Brenvo.cab");
  StandInTurn turn;
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
