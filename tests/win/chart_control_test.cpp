#include "installer/chart_control.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "installer/removal_pass.h"
#include "installer/system_removal_platform.h"
#include "tests/fixtures/chart_stand_ins/chart_stand_in_clsid.h"
#include "tests/win/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::wstring kClassKey = std::wstring(L"CLSID\\") + KOVIRA_CHART_STAND_IN_CLSID;

fs::path StandIns() {
  return fs::path(ModuleFilePath(nullptr)).parent_path().parent_path() / L"chart_stand_ins";
}

std::wstring Lower(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The real starts and waits, without the pass's pauses.
class RealStarts final : public IRemovalPlatform {
 public:
  void StartAndWait(const std::wstring& commandLine) override {
    SystemRemovalPlatform().StartAndWait(commandLine);
  }
  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override {
    SystemRemovalPlatform().ShellOpenAndWait(file, parameters, folder);
  }
  void Pause(DWORD) override {}
};

// Starts nothing; counts what would have been started.
class CountingStarts final : public IRemovalPlatform {
 public:
  void StartAndWait(const std::wstring&) override { ++starts; }
  void ShellOpenAndWait(const std::wstring&, const std::wstring&, const std::wstring&) override {
    ++starts;
  }
  void Pause(DWORD) override {}
  int starts = 0;
};

// The stand-ins beside a "Pelgor.cab" in a throwaway program's cabfiles, a throwaway Windows
// folder with its system32, and the pass's two bars on a hidden window.
class ChartControlTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS,
              RegKey::DeleteTree(HKEY_CLASSES_ROOT, kClassKey));  // no earlier run's leftovers
    for (const wchar_t* name : {L"olch2xu8.ocx", L"c1regsvw.exe"}) {
      ASSERT_TRUE(fs::exists(StandIns() / name)) << (StandIns() / name).string();
      fs::create_directories(Cabs());
      fs::copy_file(StandIns() / name, Cabs() / name);
    }
    root_.Touch(L"cabfiles\\Pelgor.cab");
    fs::create_directories(System());
    ASSERT_TRUE(catalog_.Scan((root_.Path() / L"installer.exe").wstring()));

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    window_.Reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr,
                                    nullptr, nullptr));
    ASSERT_TRUE(window_);
    for (auto* bar : {&current_, &total_}) {
      ASSERT_TRUE(bar->Attach(::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 300, 20,
                                                window_.Get(), nullptr, nullptr, nullptr)));
    }
  }
  void TearDown() override {
    EXPECT_EQ(ERROR_SUCCESS, RegKey::DeleteTree(HKEY_CLASSES_ROOT, kClassKey));
  }

  fs::path Cabs() const { return root_.Path() / L"cabfiles"; }
  fs::path Windows() const { return root_.Path() / L"Windows"; }
  fs::path System() const { return Windows() / L"system32"; }

  CRemovalPass MakePass(IRemovalPlatform& platform) {
    return CRemovalPass(run_, RemovalDisplay{current_, total_, window_.Get(), Texts}, &platform,
                        Windows().wstring(), System().wstring());
  }
  static std::wstring Texts(UINT) { return L"%d/%d"; }
  // What HKCR says serves the class; empty when it is not registered.
  static std::wstring RegisteredServer() {
    RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, kClassKey + L"\\InprocServer32") != ERROR_SUCCESS) return {};
    return key.ReadString(L"").value_or(L"");
  }
  // Only Pelgor's INF in the store: the pass takes the row and applies its rule, and no store
  // module is handed to regsvr32, so the rule's start is the only one there can be.
  void InstallPelgor() const { root_.Touch(L"Windows\\Downloaded Program files\\Pelgor.inf"); }

  TempFolder root_{L"kovira chart"};
  CCatalog catalog_;
  CInstallRun run_{catalog_, Texts};
  ScopedWindow window_;
  CLabeledProgressCtrl current_, total_;
};

TEST_F(ChartControlTest, RegisteredFromSystemCopyThenUnregisteredBeforeBothGo) {
  // A stale copy in the way: it is overwritten, and only the real control can register.
  root_.Touch(L"Windows\\system32\\olch2xu8.ocx");
  RealStarts platform;
  CChartControl(platform, System().wstring())
      .Register(catalog_.CompanionControlPath(), catalog_.CompanionProgramPath());

  EXPECT_EQ(fs::file_size(Cabs() / L"olch2xu8.ocx"), fs::file_size(System() / L"olch2xu8.ocx"));
  EXPECT_EQ(fs::file_size(Cabs() / L"c1regsvw.exe"), fs::file_size(System() / L"c1regsvw.exe"));
  ASSERT_EQ(Lower((System() / L"olch2xu8.ocx").wstring()), Lower(RegisteredServer()));
  RegKey name;
  ASSERT_EQ(ERROR_SUCCESS, name.Open(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_EQ(L"Kovira Chart Control Stand-in", name.ReadString(L"").value_or(L""));
  name.Close();

  InstallPelgor();
  MakePass(platform).RemoveInstalledComponents();
  RegKey gone;
  EXPECT_NE(ERROR_SUCCESS, gone.Open(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(fs::exists(System() / L"olch2xu8.ocx"));
  EXPECT_FALSE(fs::exists(System() / L"c1regsvw.exe"));
}

TEST_F(ChartControlTest, LoneFileIsDeletedAndNothingStarts) {
  for (const wchar_t* lone : {L"olch2xu8.ocx", L"c1regsvw.exe"}) {
    SCOPED_TRACE(testing::Message() << fs::path(lone).string());
    fs::copy_file(Cabs() / lone, System() / lone);
    InstallPelgor();
    CountingStarts platform;
    MakePass(platform).RemoveInstalledComponents();
    EXPECT_FALSE(fs::exists(System() / lone));
    EXPECT_EQ(0, platform.starts);
  }
}

}  // namespace
