#include "installer/removal_pass.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "installer/chart_control.h"
#include "installer/core/catalog_table.h"
#include "installer/system_removal_platform.h"
#include "platform/component_store.h"
#include "tests/win/stand_in_turn.h"
#include "tests/win/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const wchar_t kUnits[] = L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";

size_t IndexOf(const wchar_t* cabName) {
  for (size_t i = 0; i < kCatalogSize; ++i) {
    if (std::wstring(kCatalogRows[i].cabName) == cabName) return i;
  }
  return kCatalogSize;
}
const CatalogRow& RowOf(const wchar_t* cabName) { return kCatalogRows[IndexOf(cabName)]; }

std::wstring RealSystemDirectory() {
  wchar_t path[MAX_PATH] = {};
  ::GetSystemDirectoryW(path, MAX_PATH);
  return path;
}

fs::path SamplesFolder() {
  return fs::path(ModuleFilePath(nullptr)).parent_path().parent_path() / L"samples";
}

// Records what the pass starts and how long it would wait; can start the real programs too.
class RecordingPlatform final : public IRemovalPlatform {
 public:
  struct ShellRun {
    std::wstring file, parameters, folder;
    bool operator==(const ShellRun&) const = default;
  };
  void StartAndWait(const std::wstring& commandLine) override {
    started.push_back(commandLine);
    if (startReally) SystemRemovalPlatform().StartAndWait(commandLine);
  }
  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override {
    shellRuns.push_back({file, parameters, folder});
    if (onShellRun) onShellRun();
  }
  void Pause(DWORD milliseconds) override {
    pauses.push_back(milliseconds);
    if (onPause) onPause();
  }
  size_t PausesOf(DWORD milliseconds) const {
    return std::count(pauses.begin(), pauses.end(), milliseconds);
  }

  std::vector<std::wstring> started;
  std::vector<ShellRun> shellRuns;
  std::vector<DWORD> pauses;
  bool startReally = false;
  std::function<void()> onPause;
  std::function<void()> onShellRun;
};

// A throwaway Windows folder (store and system directory), a "cabfiles" folder for the catalog,
// and the two bars on a hidden window, as the dialog would hand them over.
class RemovalPassTest : public testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    fs::create_directories(Store());
    fs::create_directories(System());
    fs::create_directories(root_.Path() / L"cabfiles");
    window_.Reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 100, nullptr, nullptr,
                                    nullptr, nullptr));
    ASSERT_TRUE(window_);
    for (auto* bar : {&current_, &total_}) {
      HWND control = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, 300,
                                       20, window_.Get(), nullptr, nullptr, nullptr);
      ASSERT_TRUE(bar->Attach(control));
    }
  }

  fs::path Windows() const { return root_.Path() / L"Windows"; }
  fs::path Store() const { return Windows() / L"Downloaded Program files"; }
  fs::path System() const { return Windows() / L"system32"; }

  void AddCab(const wchar_t* cabName) { root_.Touch(std::wstring(L"cabfiles\\") + cabName); }
  void Put(const fs::path& file) const {
    fs::create_directories(file.parent_path());
    ScopedFile h(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(h) << file.string();
  }
  // The module and INF of a row, as the browser leaves them in the store.
  void Install(const wchar_t* cabName) {
    AddCab(cabName);
    Put(Store() / RowOf(cabName).moduleName);
    Put(Store() / RowOf(cabName).infName);
  }

  CRemovalPass& Pass() {
    if (!pass_) {
      EXPECT_TRUE(catalog_.Scan((root_.Path() / L"installer.exe").wstring()));
      pass_ = std::make_unique<CRemovalPass>(
          run_, RemovalDisplay{current_, total_, window_.Get(), Text}, &platform_,
          Windows().wstring(), systemFolder_.empty() ? System().wstring() : systemFolder_);
    }
    return *pass_;
  }
  static std::wstring Text(UINT id) { return LoadResourceString(::GetModuleHandleW(nullptr), id); }
  std::wstring Regsvr32(const fs::path& file, const wchar_t* switches) {
    return Pass().SystemFolder() + L"\\regsvr32.exe" + switches + L"\"" + file.wstring() + L"\"";
  }

  TempFolder root_{L"kovira removal"};
  CCatalog catalog_;
  CInstallRun run_{catalog_, Text};
  ScopedWindow window_;
  std::wstring systemFolder_;  // empty: the throwaway one
  CLabeledProgressCtrl current_;
  CLabeledProgressCtrl total_;
  RecordingPlatform platform_;
  std::unique_ptr<CRemovalPass> pass_;
};

TEST_F(RemovalPassTest, DeletionListTakesSelectedPresentRowsWithTheirExtraNames) {
  for (const wchar_t* cab : {L"Lurrin.cab", L"Quenta.cab", L"Velmar.cab", L"Vormik.cab",
                             L"VormikU.cab", L"Brenvo.cab"}) {
    AddCab(cab);
  }
  Pass();  // the catalog is scanned
  run_.SetSelected(IndexOf(L"Brenvo.cab"), false);
  EXPECT_EQ(5u, Pass().BuildDeletionList());
  EXPECT_TRUE(run_.Removing());
  EXPECT_EQ((std::vector<std::wstring>{
                L"Lurrin.dll", L"Lurrin.inf", L"Lurrin.ocx", L"Lurrinx.ocx", L"Quenta.dll",
                L"Quenta.inf", L"TeeChart5.ocx", L"TeeChart5070M.ocx", L"Velmar.dll", L"Velmar.inf",
                L"Vormik.dll", L"Vormik.inf", L"TeeChart5.ocx", L"TeeChart5070N.ocx",
                L"VormikU.dll", L"VormikU.inf", L"TeeChart5.ocx", L"TeeChart5070U.ocx"}),
            Pass().DeletionList().Names());
  EXPECT_TRUE(Pass().DeletionList().IsInDeletionList(L"LURRINX.OCX"));
  EXPECT_FALSE(Pass().DeletionList().IsInDeletionList(L"Brenvo.dll"));
}

TEST_F(RemovalPassTest, CountsSelectedPresentRowsWithModuleOrInfInTheStore) {
  AddCab(L"Velmar.cab");
  Put(Store() / L"Velmar.dll");  // module only
  AddCab(L"Quenta.cab");
  Put(Store() / L"QUENTA.INF");  // INF only, other letter case
  AddCab(L"Stavin.cab");         // nothing in the store
  Put(Store() / L"Brenvo.dll");  // CAB absent
  Install(L"Sarvo.cab");
  run_.SetSelected(IndexOf(L"Sarvo.cab"), false);
  Put(Store() / L"sub" / L"Stavin.dll");  // not in the store folder itself

  Pass().CountRemovableComponents(Store().wstring() + L"\\");
  EXPECT_EQ(2, run_.RemovalTotal());
  Pass().CountRemovableComponents(Store().wstring() + L"\\");
  EXPECT_EQ(4, run_.RemovalTotal());  // adds; only a whole pass counts afresh
}

TEST_F(RemovalPassTest, WholePassUnregistersDeletesReportsAndResets) {
  Install(L"Velmar.cab");
  AddCab(L"Quenta.cab");
  Put(Store() / L"Quenta.inf");  // INF alone: deleted, shown, counted, no regsvr32
  AddCab(L"Yandrel.cab");        // present, nothing in the store
  Put(Store() / L"Other.dll");
  // Its registry record goes too.
  CComponentStore records(Windows().wstring(), System().wstring());
  records.RecordComponent(RowOf(L"Velmar.cab").clsid, L"Kovira3", L"x", L"y", L"1,0,0,1", {});

  std::vector<std::wstring> totalLabels, currentLabels;
  int totalPosAtReset = -1;
  platform_.onPause = [&] {
    totalLabels.push_back(total_.Label());
    currentLabels.push_back(current_.Label());
    totalPosAtReset = total_.Pos();
  };
  // A run is under way, at its first row, a few steps in.
  Pass();
  ASSERT_TRUE(run_.Begin((root_.Path() / L"installer.exe").wstring()));
  ASSERT_TRUE(run_.FindNextRow());
  ASSERT_EQ(IndexOf(L"Quenta.cab"), run_.CurrentIndex());
  for (int i = 0; i < 3; ++i) run_.CountStep();
  Pass().RemoveInstalledComponents();

  EXPECT_EQ(2, run_.RemovalTotal());
  EXPECT_EQ(2, run_.RemovedCount());
  EXPECT_EQ((std::vector<std::wstring>{Regsvr32(Store() / L"Velmar.dll", L" /U /s ")}),
            platform_.started);
  EXPECT_FALSE(fs::exists(Store() / L"Velmar.dll"));
  EXPECT_FALSE(fs::exists(Store() / L"Velmar.inf"));
  EXPECT_FALSE(fs::exists(Store() / L"Quenta.inf"));
  EXPECT_TRUE(fs::exists(Store() / L"Other.dll"));
  RegKey unit;
  EXPECT_NE(ERROR_SUCCESS,
            unit.Open(HKEY_LOCAL_MACHINE, kUnits + std::wstring(RowOf(L"Quenta.cab").clsid)));
  EXPECT_NE(ERROR_SUCCESS,
            unit.Open(HKEY_LOCAL_MACHINE, kUnits + std::wstring(RowOf(L"Velmar.cab").clsid)));

  // Ten 50 ms steps per component shown, then the closing half second.
  ASSERT_EQ(21u, platform_.pauses.size());
  EXPECT_EQ(20u, platform_.PausesOf(50));
  EXPECT_EQ(500u, platform_.pauses.back());
  EXPECT_EQ(L"0/2 deleted.", totalLabels.front());
  EXPECT_EQ(L"1/2 deleted.", totalLabels[10]);
  EXPECT_EQ(L"2/2 deleted.", totalLabels[20]);
  // Catalog order: Quenta's row comes before Velmar's.
  EXPECT_EQ(L"Kovira Download Agent is deleted.", currentLabels.front());
  EXPECT_EQ(L"Kovira3 is deleted.", currentLabels[10]);
  EXPECT_EQ(2, totalPosAtReset);
  EXPECT_EQ(0, total_.Pos());
  EXPECT_EQ(L"", total_.Label());

  // The run is back where the pass found it, at its start.
  EXPECT_EQ(CInstallRun::Phase::kPreparing, run_.CurrentPhase());
  EXPECT_EQ(0u, run_.CurrentIndex());
  EXPECT_EQ(0, run_.StepCount());
  EXPECT_EQ(0u, Pass().DeletionList().Count());
  EXPECT_FALSE(current_.TextShown());
  EXPECT_EQ(L"", current_.Label());
  EXPECT_EQ(0, current_.Pos());
}

TEST_F(RemovalPassTest, EmptyStoreReadsZeroOfZeroAndStillCleansTheRegistry) {
  AddCab(L"Velmar.cab");
  CComponentStore records(Windows().wstring(), System().wstring());
  records.RecordComponent(RowOf(L"Velmar.cab").clsid, L"Kovira3", L"x", L"y", L"1,0,0,1", {});
  std::wstring labelAtReset;
  platform_.onPause = [&] { labelAtReset = total_.Label(); };

  Pass().RemoveInstalledComponents();

  EXPECT_EQ(L"0/0 deleted.", labelAtReset);
  EXPECT_EQ((std::vector<DWORD>{500}), platform_.pauses);  // nobody shown, only the reset
  EXPECT_TRUE(platform_.started.empty());
  RegKey unit;
  EXPECT_NE(ERROR_SUCCESS,
            unit.Open(HKEY_LOCAL_MACHINE, kUnits + std::wstring(RowOf(L"Velmar.cab").clsid)));
}

TEST_F(RemovalPassTest, NoCabPresentEndsAfterTheTotalBarWithoutReset) {
  Put(Store() / L"Velmar.dll");
  Pass().RemoveInstalledComponents();
  EXPECT_TRUE(total_.TextShown());
  EXPECT_EQ(L"0/0 deleted.", total_.Label());
  EXPECT_EQ(0, total_.Upper());
  EXPECT_TRUE(platform_.pauses.empty());
  EXPECT_EQ(CInstallRun::Phase::kIdle, run_.CurrentPhase());  // never removing, no reset
  EXPECT_EQ(0u, Pass().DeletionList().Count());
  EXPECT_TRUE(fs::exists(Store() / L"Velmar.dll"));
}

TEST_F(RemovalPassTest, ConflictFolderLosesListedFilesWithRealUnregistration) {
  const fs::path sample = SamplesFolder() / L"Stavin.dll";
  ASSERT_TRUE(fs::exists(sample)) << sample.string();
  systemFolder_ = RealSystemDirectory();  // where regsvr32 is; no row taken here has a system rule
  AddCab(L"Velmar.cab");
  AddCab(L"Lurrin.cab");
  Put(Store() / L"Lurrin.inf");
  // A sample server under a listed DLL's name, registered the way the browser left it.
  const fs::path conflict = Store() / L"CONFLICT.1";
  fs::create_directories(conflict);
  fs::copy_file(sample, conflict / L"velmar.DLL");
  Put(conflict / L"Lurrinx.ocx");
  Put(conflict / L"Unlisted.dll");
  const std::wstring server =
      std::wstring(L"CLSID\\") + RowOf(L"Stavin.cab").clsid + L"\\InprocServer32";
  {
    std::wstring line = RealSystemDirectory() + L"\\regsvr32.exe /s \"" +
                        (conflict / L"velmar.DLL").wstring() + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process));
    ScopedHandle p(process.hProcess), t(process.hThread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(p.Get(), 30000));
  }
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CLASSES_ROOT, server));
  key.Close();

  platform_.startReally = true;
  Pass().RemoveInstalledComponents();

  // Only the listed DLL is handed to regsvr32; the OCX just goes.
  EXPECT_EQ((std::vector<std::wstring>{Regsvr32(conflict / L"velmar.DLL", L" /U /S ")}),
            platform_.started);
  EXPECT_FALSE(fs::exists(conflict / L"velmar.DLL"));
  EXPECT_FALSE(fs::exists(conflict / L"Lurrinx.ocx"));
  EXPECT_TRUE(fs::exists(conflict / L"Unlisted.dll"));
  EXPECT_TRUE(fs::is_directory(conflict));
  EXPECT_FALSE(fs::exists(Store() / L"Lurrin.inf"));
  EXPECT_NE(ERROR_SUCCESS, key.Open(HKEY_CLASSES_ROOT, server));
}

TEST_F(RemovalPassTest, EmptiedConflictFolderIsRemoved) {
  Install(L"Velmar.cab");
  Put(Store() / L"MyConflictCopy" / L"Velmar.DLL");
  Put(Store() / L"Plain" / L"Velmar.dll");
  Pass().RemoveInstalledComponents();
  EXPECT_FALSE(fs::exists(Store() / L"MyConflictCopy"));
  EXPECT_TRUE(fs::exists(Store() / L"Plain" / L"Velmar.dll"));
}

TEST_F(RemovalPassTest, StoreRulesTakeCompanionFiles) {
  Install(L"Velmar.cab");
  Put(Store() / L"KV3Installer.exe");
  Install(L"Lurrin.cab");
  Put(Store() / L"Lurrin.ocx");
  Put(Store() / L"Lurrinx.ocx");
  Install(L"VormikU.cab");
  Put(Store() / L"TeeChart5070U.ocx");
  Put(Store() / L"TeeChart5070N.ocx");  // Vormik's, and Vormik is not installed
  Put(Store() / L"TeeChart5.ocx");      // shared: no rule deletes it from the store
  Pass().RemoveInstalledComponents();
  for (const wchar_t* gone :
       {L"KV3Installer.exe", L"Lurrin.ocx", L"Lurrinx.ocx", L"TeeChart5070U.ocx"}) {
    EXPECT_FALSE(fs::exists(Store() / gone)) << gone;
  }
  EXPECT_TRUE(fs::exists(Store() / L"TeeChart5070N.ocx"));
  EXPECT_TRUE(fs::exists(Store() / L"TeeChart5.ocx"));
}

TEST_F(RemovalPassTest, ChartUserAbsentFromStoreStillPreCleansSharedChart) {
  AddCab(L"Vormik.cab");  // present, its files not in the store
  Put(Store() / L"TeeChart5070.ocx");
  Put(Store() / L"CONFLICT.2" / L"TeeChart5070N.ocx");
  Pass().RemoveInstalledComponents();
  EXPECT_FALSE(fs::exists(Store() / L"TeeChart5070.ocx"));
  EXPECT_FALSE(fs::exists(Store() / L"CONFLICT.2"));
  EXPECT_EQ(0, run_.RemovedCount());
  EXPECT_TRUE(platform_.started.empty());  // an OCX is never unregistered there
}

TEST_F(RemovalPassTest, ChartControlPairIsUnregisteredBeforeBothGo) {
  Install(L"Pelgor.cab");
  Put(System() / L"olch2xu8.ocx");
  Put(System() / L"c1regsvw.exe");
  bool bothThereWhenRun = false;
  platform_.onShellRun = [&] {
    bothThereWhenRun =
        fs::exists(System() / L"olch2xu8.ocx") && fs::exists(System() / L"c1regsvw.exe");
  };
  Pass().RemoveInstalledComponents();
  EXPECT_EQ((std::vector<RecordingPlatform::ShellRun>{
                {L"c1regsvw.exe", L"/u olch2xu8.ocx", System().wstring()}}),
            platform_.shellRuns);
  EXPECT_TRUE(bothThereWhenRun);
  EXPECT_FALSE(fs::exists(System() / L"olch2xu8.ocx"));
  EXPECT_FALSE(fs::exists(System() / L"c1regsvw.exe"));
}

TEST_F(RemovalPassTest, LoneChartFileIsDeletedWithoutUnregistration) {
  for (const wchar_t* lone : {L"olch2xu8.ocx", L"c1regsvw.exe"}) {
    SCOPED_TRACE(lone);
    pass_.reset();
    catalog_ = CCatalog();
    platform_.shellRuns.clear();
    Install(L"Pelgor.cab");
    Put(System() / lone);
    Pass().RemoveInstalledComponents();
    EXPECT_TRUE(platform_.shellRuns.empty());
    EXPECT_FALSE(fs::exists(System() / lone));
  }
}

TEST_F(RemovalPassTest, SystemDirectoryRulesOfStavinDremsaAndMirodel) {
  Install(L"Stavin.cab");
  Put(System() / L"tormuil.dll");
  Put(System() / L"Yolvent.dll");  // brask.dll missing: the others still go
  Install(L"Dremsa.cab");
  Put(System() / L"Dremsa_org.ocx");
  Install(L"Mirodel.cab");
  Put(System() / L"Fendro.ocx");
  Put(System() / L"Unrelated.ocx");
  Pass().RemoveInstalledComponents();

  EXPECT_FALSE(fs::exists(System() / L"tormuil.dll"));
  EXPECT_FALSE(fs::exists(System() / L"Yolvent.dll"));
  EXPECT_FALSE(fs::exists(System() / L"Dremsa_org.ocx"));
  EXPECT_FALSE(fs::exists(System() / L"Fendro.ocx"));
  EXPECT_TRUE(fs::exists(System() / L"Unrelated.ocx"));
  // Catalog order: Mirodel's row comes before Dremsa's.
  EXPECT_EQ((std::vector<RecordingPlatform::ShellRun>{
                {L"regsvr32.exe", L"/u /s Fendro.ocx", System().wstring()},
                {L"regsvr32.exe", L"/u /s Dremsa_org.ocx", System().wstring()}}),
            platform_.shellRuns);
}

TEST_F(RemovalPassTest, ShellToolsNotStartedWhenTheirFileIsMissing) {
  Install(L"Dremsa.cab");
  Install(L"Mirodel.cab");
  Pass().RemoveInstalledComponents();
  EXPECT_TRUE(platform_.shellRuns.empty());
  EXPECT_EQ(2, run_.RemovedCount());
}

TEST_F(RemovalPassTest, CancelBetweenEntriesSkipsTheRestAndStillResets) {
  Install(L"Lurrin.cab");
  Install(L"Velmar.cab");
  Install(L"Pelgor.cab");
  // Pressed while the first one is shown.
  platform_.onPause = [&] {
    if (run_.Removing()) EXPECT_EQ(CInstallRun::CancelStep::kStopAfterStep, run_.RequestCancel());
  };
  Pass().RemoveInstalledComponents();
  EXPECT_EQ(1, run_.RemovedCount());
  EXPECT_FALSE(fs::exists(Store() / L"Lurrin.dll"));  // the entry in progress is finished
  EXPECT_FALSE(fs::exists(Store() / L"Lurrin.inf"));
  EXPECT_TRUE(fs::exists(Store() / L"Velmar.dll"));
  EXPECT_TRUE(fs::exists(Store() / L"Pelgor.ocx"));
  EXPECT_TRUE(run_.AbortRequested());
  EXPECT_FALSE(run_.Removing());
  EXPECT_EQ(500u, platform_.pauses.back());
}

// The quit request ends the pass, and the loop outside it still gets the request.
TEST_F(RemovalPassTest, QuitMessageEndsTheLoopAndIsPostedAgain) {
  Install(L"Lurrin.cab");
  Install(L"Velmar.cab");
  bool posted = false;
  platform_.onPause = [&] {
    if (!posted) ::PostQuitMessage(7);
    posted = true;
  };
  Pass().RemoveInstalledComponents();
  EXPECT_EQ(1, run_.RemovedCount());
  EXPECT_TRUE(fs::exists(Store() / L"Velmar.dll"));
  EXPECT_TRUE(Pass().QuitRequested());
  EXPECT_FALSE(run_.Removing());  // the reset still ran
  MSG msg{};
  msg.wParam = 0xdeadbeef;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(7u, msg.wParam);
}

TEST_F(RemovalPassTest, DeletedItemLabelIsCompactedToTheBarWidth) {
  ::SetWindowPos(current_.Handle(), nullptr, 0, 0, 60, 20, SWP_NOMOVE | SWP_NOZORDER);
  std::wstring shown;
  platform_.onPause = [&] {
    if (shown.empty()) shown = current_.Label();
  };
  const std::wstring name = L"A display name far too long for a bar only sixty pixels wide";
  Pass().ShowDeletedItem(name);
  EXPECT_LT(shown.size(), name.size() + 12);
  EXPECT_NE(std::wstring::npos, shown.find(L"...")) << shown;
  EXPECT_EQ(100, current_.Upper());
  EXPECT_EQ((std::vector<DWORD>(10, 50)), platform_.pauses);
}

TEST_F(RemovalPassTest, ChartControlIsCopiedToTheSystemDirectoryAndRegistered) {
  root_.Touch(L"cabfiles\\olch2xu8.ocx");
  root_.Touch(L"cabfiles\\c1regsvw.exe");
  Put(System() / L"olch2xu8.ocx");  // an older copy is overwritten
  Pass();                           // the catalog is scanned
  CChartControl(platform_, System().wstring())
      .Register(catalog_.CompanionControlPath(), catalog_.CompanionProgramPath());
  EXPECT_EQ(4u, fs::file_size(System() / L"olch2xu8.ocx"));
  EXPECT_TRUE(fs::exists(System() / L"c1regsvw.exe"));
  EXPECT_EQ((std::vector<RecordingPlatform::ShellRun>{
                {L"c1regsvw.exe", L"olch2xu8.ocx", System().wstring()}}),
            platform_.shellRuns);
}

// A window of this thread that counts the messages it gets.
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RemovalWaitCounter";
    ::RegisterClassW(&wc);
    window_.Reset(::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr,
                                    nullptr, wc.hInstance, nullptr));
  }
  HWND Handle() const { return window_.Get(); }
  static inline int count = 0;
  static constexpr UINT kCounted = WM_APP + 11;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCounted) ++count;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  ScopedWindow window_;
};

// The real platform waits for a started program until it ends, or until its time limit, not
// longer; the thread's messages are handled meanwhile (the dialog keeps painting and hears Cancel).
TEST(SystemRemovalPlatform, WaitForAProgramIsBoundedAndHandlesMessages) {
  const fs::path program =
      SamplesFolder().parent_path() / L"stand_in_browser" / L"stand_in_browser.exe";
  ASSERT_TRUE(fs::exists(program)) << program.string();
  const struct {
    const char* what;
    DWORD lifetimeMs, limitMs, atLeastMs, belowMs;
  } cases[] = {
      {"ends before the limit", 300, 20000, 250, 10000},
      {"outlives the limit", 2500, 400, 390, 2000},
  };
  StandInTurn turn;  // the stand-in shows a browser frame on the shared desktop
  CountingWindow counter;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    CountingWindow::count = 0;
    for (int i = 0; i < 5; ++i) ::PostMessageW(counter.Handle(), CountingWindow::kCounted, 0, 0);
    CSystemRemovalPlatform platform(c.limitMs);
    const DWORD start = ::GetTickCount();
    platform.StartAndWait(L"\"" + program.wstring() + L"\" --lifetime " +
                          std::to_wstring(c.lifetimeMs));
    const DWORD elapsed = ::GetTickCount() - start;
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.belowMs);
    EXPECT_EQ(5, CountingWindow::count);
  }
}

}  // namespace
