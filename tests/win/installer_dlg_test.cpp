#include "installer/installer_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/user_prompt.h"
#include "installer/browser_check.h"
#include "installer/core/version_text.h"
#include "installer/install_messages.h"
#include "installer/resource.h"
#include "installer/web_page.h"
#include "installer/wide_string_list.h"
#include "installer_version.h"
#include "tests/win/scripted_code_download.h"
#include "tests/win/stand_in_turn.h"
#include "tests/win/temp_folder.h"

namespace {

const wchar_t kNoFiles[] = L"[QXR-73046] No files.";
const wchar_t kCompleted[] = L"[QXR-73051] Completed installation successfully.";
const wchar_t kIncorrect[] = L"[QXR-73021] Installation has been performed incorrectly.";

class RecordingPrompt final : public IUserPrompt {
 public:
  int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) override {
    texts.push_back(text);
    captions.push_back(caption);
    styles.push_back(style);
    if (onShow) onShow(owner);
    return answer;
  }
  int answer = IDOK;
  std::vector<std::wstring> texts;
  std::vector<std::wstring> captions;
  std::vector<UINT> styles;
  std::function<void(HWND)> onShow;  // sees the dialog as it is when the message appears
};

std::wstring FailureMessage(int failed, int found, const std::wstring& log) {
  return std::to_wstring(failed) + L" of " + std::to_wstring(found) +
         L" components could not be installed.\r\nThe run log says which, and why:\r\n" + log;
}

// The control's own visibility flag, whether or not the dialog is on screen yet.
bool Shown(HWND window) { return (::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

// Other tests' stand-in browsers share the desktop: this dialog sees no browser holding anything,
// unless a test names a process whose browser holds a module.
class NoBrowserModules final : public IModuleLister {
 public:
  bool EnumModules(DWORD processId, CWideStringList& list) override {
    if (processId != holder || module.empty()) return false;
    list.Add(module.c_str());
    return true;
  }
  DWORD holder = 0;
  std::wstring module;
};

// Starts nothing; records what the shell was asked to open.
class RecordingLauncher final : public IProgramLauncher {
 public:
  INT_PTR ShellOpen(const std::wstring& address, int show) override {
    opened.emplace_back(address, show);
    return 42;  // above 32: the shell opened it
  }
  ScopedHandle StartProcess(const std::wstring&) override { return {}; }
  std::vector<std::pair<std::wstring, int>> opened;
};

// Runs the main dialog modally over a "cabfiles" folder of its own, with the scripted service
// and recorded message boxes. A thread timer lets the test look at (and press on) the dialog
// while it runs; a dialog still open after the time limit is ended and marked.
class DialogRun {
 public:
  DialogRun() {
    std::filesystem::create_directory(folder.Path() / L"cabfiles");
    std::filesystem::create_directories(folder.Path() / L"windows" / L"system32");
  }

  void AddCab(const std::wstring& name, BindScript script) {
    folder.Touch(L"cabfiles\\" + name);
    service.SetScript(name, std::move(script));
  }

  INT_PTR Run(const std::wstring& commandLine, DWORD limitMs = 20000) {
    InstallerEnvironment environment;
    environment.programPath = folder / L"installer.exe";
    environment.commandLine = commandLine;
    environment.downloadService = &service;
    environment.prompt = &prompt;
    environment.browserModules = &browsers;
    environment.removalPlatform = removalPlatform;
    environment.launcher = &launcher;
    // The removal pass works on a Windows folder of this run's own.
    environment.windowsFolder = folder / L"windows";
    environment.systemFolder = folder / L"windows\\system32";
    dialog = std::make_unique<CInstallerDlg>(std::move(environment));
    current_ = this;
    start_ = ::GetTickCount();
    limitMs_ = limitMs;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, Tick);
    const HRESULT shown = dialog->DoModal(::GetModuleHandleW(nullptr));
    ::KillTimer(nullptr, timer);
    current_ = nullptr;
    if (FAILED(shown)) return -1;
    return timedOut ? -2 : dialog->Result();
  }

  // Posts a button press to the dialog.
  void Press(int id) const {
    ::PostMessageW(dialog->Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog->Handle(), id)));
  }
  HWND Item(int id) const { return ::GetDlgItem(dialog->Handle(), id); }

  // Requested code bases, as file names.
  std::vector<std::wstring> RequestedCabs() const {
    std::vector<std::wstring> names;
    for (const auto& r : service.Requests())
      names.push_back(r.codeBase.substr(r.codeBase.rfind(L'\\') + 1));
    return names;
  }

  TempFolder folder{L"kovira run"};
  CScriptedCodeDownload service;
  RecordingPrompt prompt;
  NoBrowserModules browsers;
  IRemovalPlatform* removalPlatform = nullptr;
  RecordingLauncher launcher;
  std::unique_ptr<CInstallerDlg> dialog;
  std::function<void(DialogRun&)> onTick;
  bool timedOut = false;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    DialogRun* run = current_;
    if (run == nullptr || run->dialog->Handle() == nullptr) return;
    if (::GetTickCount() - run->start_ > run->limitMs_) {
      run->timedOut = true;
      ::EndDialog(run->dialog->Handle(), -2);
      return;
    }
    if (run->onTick) run->onTick(*run);
  }
  static inline DialogRun* current_ = nullptr;
  DWORD start_ = 0;
  DWORD limitMs_ = 0;
};

BindScript FindingResourceTwice() {
  return {MK_S_ASYNCHRONOUS,
          {BindStep::Start(), BindStep::Progress(BINDSTATUS_FINDINGRESOURCE),
           BindStep::Progress(BINDSTATUS_FINDINGRESOURCE), BindStep::Object(), BindStep::Stop()}};
}

BindScript HtmlCodeBase() {
  return {MK_S_ASYNCHRONOUS,
          {BindStep::Start(), BindStep::Progress(BINDSTATUS_CONNECTING),
           BindStep::Progress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html"), BindStep::Object(),
           BindStep::Stop()}};
}

TEST(InstallerDialog, AutomaticRunInstallsWhatItCanAndCloses) {
  DialogRun run;
  run.AddCab(L"Brenvo.cab", InstallsScript());
  run.AddCab(L"Caldrin.cab", FailsScript());
  run.AddCab(L"Dastel.CAB", FindingResourceTwice());
  run.AddCab(L"Elmora.cab", InstallsScript());  // its first status follows the last one of Dastel
  run.AddCab(L"fennik.cab", {S_OK, {}});
  run.AddCab(L"GORVATH.CAB", {E_NOINTERFACE, {}});
  run.AddCab(L"Halden.cab", HtmlCodeBase());
  run.AddCab(L"Velmar.cab", InstallsScript());

  struct Snapshot {
    bool taken = false, installVisible = true, installEnabled = true;
    std::wstring closeCaption, currentLabel, totalLabel;
    int totalLower = -1, totalUpper = -1, currentUpper = -1;
  } during;
  std::wstring lastTotalLabel;
  run.onTick = [&](DialogRun& r) {
    lastTotalLabel = r.dialog->TotalBar().Label();
    if (during.taken || !r.dialog->Installing()) return;
    during = {true,
              Shown(r.Item(IDC_INSTALL)),
              ::IsWindowEnabled(r.Item(IDC_INSTALL)) != FALSE,
              WindowText(r.Item(IDCANCEL)),
              r.dialog->CurrentBar().Label(),
              r.dialog->TotalBar().Label(),
              r.dialog->TotalBar().Lower(),
              r.dialog->TotalBar().Upper(),
              r.dialog->CurrentBar().Upper()};
  };

  EXPECT_EQ(IDOK, run.Run(L""));
  ASSERT_FALSE(run.timedOut);

  // Every present row was asked for once, in catalog order.
  EXPECT_EQ(
      (std::vector<std::wstring>{L"Brenvo.cab", L"Caldrin.cab", L"Dastel.CAB", L"Elmora.cab",
                                 L"fennik.cab", L"GORVATH.CAB", L"Halden.cab", L"Velmar.cab"}),
      run.RequestedCabs());
  EXPECT_EQ(8u, run.dialog->FoundCount());
  EXPECT_EQ(3u, run.dialog->InstalledCount());

  const auto report = run.dialog->RunReport().Entries();
  ASSERT_EQ(kCatalogSize, report.size());
  EXPECT_EQ(L"Arvenco.cab", report[0].first);
  EXPECT_EQ(kNoFiles, report[0].second);
  EXPECT_EQ(kCompleted, report[1].second);
  EXPECT_EQ(L"[QXR-73036]  Caldrin.cab[0x80004005]file installation failed.", report[2].second);
  EXPECT_EQ(L"[QXR-73036]  Dastel.CAB[-1]file installation failed.", report[3].second);
  EXPECT_EQ(L"[QXR-73036]  Elmora.cab[-1]file installation failed.", report[4].second);
  EXPECT_EQ(kCompleted, report[5].second);
  EXPECT_EQ(L"[QXR-73036]  GORVATH.CAB[0x80004002]file installation failed.", report[6].second);
  EXPECT_EQ(L"[QXR-73036]  Halden.cab[-2]file installation failed.", report[7].second);
  EXPECT_EQ(L"Velmar.cab", report[kVelmarRow].first);
  EXPECT_EQ(kCompleted, report[kVelmarRow].second);
  EXPECT_EQ(kNoFiles, report[kCatalogSize - 1].second);
  // Five rows failed: the run does not close as if all went well.
  EXPECT_EQ(std::vector<std::wstring>{FailureMessage(5, 8, run.dialog->LogPath())},
            run.prompt.texts);

  ASSERT_TRUE(during.taken);
  EXPECT_FALSE(during.installVisible);
  EXPECT_FALSE(during.installEnabled);
  EXPECT_EQ(L"Cancel", during.closeCaption);
  EXPECT_EQ(0, during.totalLower);
  EXPECT_EQ(8, during.totalUpper);
  EXPECT_EQ(10, during.currentUpper);
  EXPECT_NE(std::wstring::npos, during.currentLabel.find(L" is installed.")) << during.currentLabel;
  EXPECT_NE(std::wstring::npos, during.totalLabel.find(L"/8 is installed.")) << during.totalLabel;

  // At the end the bars are quiet again and the run state is reset.
  EXPECT_FALSE(run.dialog->Installing());
  EXPECT_EQ(0u, run.dialog->CurrentIndex());
  EXPECT_EQ(0, run.dialog->TotalBar().Pos());
  EXPECT_FALSE(run.dialog->TotalBar().TextShown());
  EXPECT_FALSE(run.dialog->CurrentBar().TextShown());
  EXPECT_EQ(L"3/8 is installed.", lastTotalLabel);
}

TEST(InstallerDialog, CurrentBarCountsProgressAndIsToppedUpOrReset) {
  DialogRun run;
  std::vector<int> positions;
  auto record = [&](IBindStatusCallback*) { positions.push_back(run.dialog->CurrentBar().Pos()); };
  BindScript few{MK_S_ASYNCHRONOUS,
                 {BindStep::Start(), BindStep::Progress(BINDSTATUS_FINDINGRESOURCE),
                  BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA), BindStep::Action(record),
                  BindStep::Object(), BindStep::Action(record), BindStep::Stop()}};
  BindScript many{MK_S_ASYNCHRONOUS, {BindStep::Start()}};
  for (int i = 0; i < 12; ++i) many.steps.push_back(BindStep::Progress(BINDSTATUS_DOWNLOADINGDATA));
  many.steps.insert(many.steps.end(), {BindStep::Action(record), BindStep::Object(),
                                       BindStep::Action(record), BindStep::Stop()});
  run.AddCab(L"Brenvo.cab", few);
  run.AddCab(L"Caldrin.cab", many);
  EXPECT_EQ(IDOK, run.Run(L""));
  ASSERT_FALSE(run.timedOut);
  // Two steps, then reset after the top-up; twelve steps (no top-up), then reset.
  EXPECT_EQ((std::vector<int>{2, 0, 12, 0}), positions);
  EXPECT_EQ(2u, run.dialog->InstalledCount());
}

TEST(InstallerDialog, CancelDuringARowClosesAtTheNextNotification) {
  // The binding-ended notification comes next: the run is reported as incorrect.
  {
    DialogRun run;
    run.AddCab(
        L"Brenvo.cab",
        {MK_S_ASYNCHRONOUS,
         {BindStep::Start(), BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA),
          BindStep::Action([&](IBindStatusCallback*) { run.Press(IDCANCEL); }),
          BindStep::Progress(BINDSTATUS_ENDDOWNLOADDATA), BindStep::Object(), BindStep::Stop()}});
    run.AddCab(L"Caldrin.cab", InstallsScript());
    EXPECT_EQ(IDCANCEL, run.Run(L""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(std::vector<std::wstring>{kIncorrect}, run.prompt.texts);
    EXPECT_EQ(std::vector<std::wstring>{L"Brenvo.cab"}, run.RequestedCabs());
    EXPECT_EQ(1, run.service.AbortCount());
    EXPECT_EQ(0u, run.dialog->InstalledCount());
  }
  // The object arrives first (already on its way when Cancel was pressed): a silent close.
  {
    DialogRun run;
    run.AddCab(L"Brenvo.cab",
               {MK_S_ASYNCHRONOUS,
                {BindStep::Start(), BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA),
                 BindStep::Action([&](IBindStatusCallback* callback) {
                   run.Press(IDCANCEL);
                   const auto factory = MakeStubClassFactory();
                   EXPECT_EQ(S_OK, callback->OnObjectAvailable(IID_IClassFactory, factory.Get()));
                 }),
                 BindStep::Stop()}});
    run.AddCab(L"Caldrin.cab", InstallsScript());
    EXPECT_EQ(IDCANCEL, run.Run(L""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(run.prompt.texts.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"Brenvo.cab"}, run.RequestedCabs());
    EXPECT_EQ(1u, run.dialog->InstalledCount());
  }
}

TEST(InstallerDialog, CancelAfterTheLastRowStillCloses) {
  DialogRun run;
  BindScript script = InstallsScript();
  script.steps.push_back(BindStep::Action([&](IBindStatusCallback*) { run.Press(IDCANCEL); }));
  run.AddCab(L"Brenvo.cab", script);
  EXPECT_EQ(IDCANCEL, run.Run(L""));
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(run.prompt.texts.empty());
  EXPECT_EQ(1u, run.dialog->InstalledCount());
}

TEST(InstallerDialog, FolderWithoutCatalogCabsStartsNothing) {
  DialogRun run;
  run.folder.Touch(L"cabfiles\\Other.cab");
  std::wstring caption;
  bool installEnabled = true;
  run.onTick = [&](DialogRun& r) {
    if (r.dialog->RunReport().Entries().size() < kCatalogSize) return;
    caption = WindowText(r.Item(IDCANCEL));
    installEnabled = ::IsWindowEnabled(r.Item(IDC_INSTALL)) != FALSE;
    r.Press(IDCANCEL);  // the Close button ("Cancel") is the way out
  };
  EXPECT_EQ(IDCANCEL, run.Run(L""));
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(run.service.Requests().empty());
  EXPECT_FALSE(run.dialog->Installing());
  EXPECT_EQ(L"Cancel", caption);
  EXPECT_FALSE(installEnabled);
  for (const auto& entry : run.dialog->RunReport().Entries()) EXPECT_EQ(kNoFiles, entry.second);
}

TEST(InstallerDialog, MissingFolderIsReportedAndNothingStarts) {
  DialogRun run;
  std::filesystem::remove(run.folder.Path() / L"cabfiles");
  std::wstring caption;
  bool installEnabled = true;
  int ticks = 0;
  run.onTick = [&](DialogRun& r) {
    if (++ticks < 10) return;  // give the auto-start timer time to (not) act
    caption = WindowText(r.Item(IDCANCEL));
    installEnabled = ::IsWindowEnabled(r.Item(IDC_INSTALL)) != FALSE;
    r.Press(IDCANCEL);
  };
  EXPECT_EQ(IDCANCEL, run.Run(L""));
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(std::vector<std::wstring>{L"\"cabfiles\" folder does not exist!\r\nCreate sub folder "
                                      L"as \"cabfiles\", and copy cabinet files!"},
            run.prompt.texts);
  EXPECT_EQ(ModuleBaseName(nullptr), run.prompt.captions.at(0));
  EXPECT_EQ(L"Close", caption);
  EXPECT_FALSE(installEnabled);
  EXPECT_TRUE(run.service.Requests().empty());
  EXPECT_TRUE(run.dialog->RunReport().Text().empty());
}

// The two buttons through a manual run: Install usable before, disabled while it runs, usable
// again (and Close reading "Close") when the final message appears.
TEST(InstallerDialog, ManualModeWaitsForInstallAndSaysWhenDone) {
  DialogRun run;
  run.AddCab(L"Brenvo.cab", InstallsScript());
  struct Buttons {
    bool installShown = false, installEnabled = false;
    std::wstring close;
  };
  auto buttons = [&](HWND dialog) {
    return Buttons{Shown(::GetDlgItem(dialog, IDC_INSTALL)),
                   ::IsWindowEnabled(::GetDlgItem(dialog, IDC_INSTALL)) != FALSE,
                   WindowText(::GetDlgItem(dialog, IDCANCEL))};
  };
  Buttons before, during, atEnd;
  bool pressed = false;
  run.onTick = [&](DialogRun& r) {
    if (!pressed) {
      before = buttons(r.dialog->Handle());
      EXPECT_TRUE(r.service.Requests().empty());  // nothing starts by itself
      pressed = true;
      r.Press(IDC_INSTALL);
    } else if (r.dialog->Installing() && during.close.empty()) {
      during = buttons(r.dialog->Handle());
    }
  };
  run.prompt.onShow = [&](HWND dialog) { atEnd = buttons(dialog); };
  EXPECT_EQ(IDOK, run.Run(L"5"));
  EXPECT_FALSE(run.timedOut);
  EXPECT_TRUE(before.installShown && before.installEnabled);
  EXPECT_EQ(L"Close", before.close);
  EXPECT_TRUE(during.installShown);
  EXPECT_FALSE(during.installEnabled);
  EXPECT_EQ(L"Cancel", during.close);
  EXPECT_TRUE(atEnd.installShown && atEnd.installEnabled);
  EXPECT_EQ(L"Close", atEnd.close);
  EXPECT_EQ(std::vector<std::wstring>{L"Completed installation successfully."}, run.prompt.texts);
  EXPECT_EQ(1u, run.dialog->InstalledCount());
}

// Only the last row's CAB: 106 rows without a file, then the installed one; the log file beside
// the program says the same, line for line.
TEST(InstallerDialog, ReportAndLogCoverEveryRow) {
  DialogRun run;
  const std::wstring last = kCatalogRows[kCatalogSize - 1].cabName;
  run.AddCab(last, InstallsScript());
  EXPECT_EQ(IDOK, run.Run(L""));
  ASSERT_FALSE(run.timedOut);
  const auto report = run.dialog->RunReport().Entries();
  ASSERT_EQ(kCatalogSize, report.size());
  for (size_t i = 0; i + 1 < kCatalogSize; ++i) {
    EXPECT_EQ(kCatalogRows[i].cabName, report[i].first);
    EXPECT_EQ(kNoFiles, report[i].second);
  }
  EXPECT_EQ(last, report.back().first);
  EXPECT_EQ(kCompleted, report.back().second);

  EXPECT_EQ(run.folder / L"installer.log", run.dialog->LogPath());
  std::ifstream log(run.folder.Path() / L"installer.log", std::ios::binary);
  std::string line;
  size_t lines = 0;
  while (std::getline(log, line)) {
    ASSERT_LT(lines, report.size());
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    ASSERT_EQ(19u, tab) << line;  // "YYYY-MM-DD hh:mm:ss"
    const std::string expected =
        std::string(report[lines].first.begin(), report[lines].first.end()) + "\t" +
        std::string(report[lines].second.begin(), report[lines].second.end());
    EXPECT_EQ(expected, line.substr(tab + 1));
    ++lines;
  }
  EXPECT_EQ(kCatalogSize, lines);
}

// A program folder that cannot take the log sends it to the temporary folder; the run is the same.
TEST(InstallerDialog, LogGoesToTheTemporaryFolderWhenTheProgramFolderIsNotWritable) {
  DialogRun run;
  run.AddCab(L"Brenvo.cab", InstallsScript());
  // A folder of the log's name stands where the file would go.
  std::filesystem::create_directory(run.folder.Path() / L"installer.log");
  EXPECT_EQ(IDOK, run.Run(L""));
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  EXPECT_EQ(std::wstring(temp) + L"installer.log", run.dialog->LogPath());
  EXPECT_EQ(1u, run.dialog->InstalledCount());
}

// Asked before closing a browser that holds a present component, No abandons the Install
// command before anything starts: Install is usable again, and pressing it asks again.
TEST(InstallerDialog, NoToClosingTheBrowserAbandonsTheInstall) {
  StandInTurn turn;  // a frame of the browser's class on the shared desktop
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"IEFrame";
  ::RegisterClassW(&wc);
  ScopedWindow frame(::CreateWindowExW(0, L"IEFrame", L"browser", WS_OVERLAPPED, 0, 0, 10, 10,
                                       nullptr, nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(frame.IsValid());

  DialogRun run;
  run.AddCab(L"Brenvo.cab", InstallsScript());
  run.browsers.holder = ::GetCurrentProcessId();
  run.browsers.module = L"C:\\PROGRAM FILES\\BROWSER\\BRENVO.DLL";
  run.prompt.answer = IDNO;
  int presses = 0;
  bool installUsable = false;
  run.onTick = [&](DialogRun& r) {
    if (r.prompt.texts.size() < static_cast<size_t>(presses)) return;  // the question is still open
    if (presses == 2) {
      installUsable = ::IsWindowEnabled(r.Item(IDC_INSTALL)) != FALSE;
      r.Press(IDCANCEL);
      return;
    }
    ++presses;
    r.Press(IDC_INSTALL);
  };
  EXPECT_EQ(IDCANCEL, run.Run(L"3"));  // manual start, ask before closing
  EXPECT_FALSE(run.timedOut);
  const std::wstring question =
      L"The Internet Explore must be closed.\r\nWould you close the Internet Explore?";
  EXPECT_EQ((std::vector<std::wstring>{question, question}), run.prompt.texts);
  EXPECT_TRUE(installUsable);
  EXPECT_TRUE(run.service.Requests().empty());
  EXPECT_TRUE(::IsWindow(frame.Get()));  // not closed
  EXPECT_TRUE(run.dialog->RunReport().Text().empty());
}

// The ways a user cancels: the Close button (reading "Cancel"), the Escape key (on the focused
// button), the window's close box.
struct CancelWay {
  const char* how;
  void (*press)(HWND dialog);
};
const CancelWay kCancelWays[] = {
    {"Cancel button",
     [](HWND dialog) {
       ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                      reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
     }},
    {"Escape key",
     [](HWND dialog) {
       ::PostMessageW(::GetDlgItem(dialog, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
     }},
    {"close box", [](HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
};

// Cancel while the removal pass runs: the entries after it are skipped, the run is reported as
// incorrect and the dialog closes without installing anything.
TEST(InstallerDialog, CancelDuringRemovalClosesTheDialog) {
  class CancellingPlatform final : public IRemovalPlatform {
   public:
    void StartAndWait(const std::wstring&) override {}
    void ShellOpenAndWait(const std::wstring&, const std::wstring&, const std::wstring&) override {}
    void Pause(DWORD) override {
      if (!cancelled && dialog != nullptr) {
        cancelled = true;
        way->press(dialog);
      }
    }
    const CancelWay* way = nullptr;
    HWND dialog = nullptr;
    bool cancelled = false;
  };

  for (const CancelWay& way : kCancelWays) {
    SCOPED_TRACE(way.how);
    CancellingPlatform platform;
    platform.way = &way;
    DialogRun run;
    run.AddCab(L"Brenvo.cab", InstallsScript());
    run.AddCab(L"Caldrin.cab", InstallsScript());
    // Both components are in the store from an earlier installation.
    run.folder.Touch(L"windows\\Downloaded Program Files\\Brenvo.dll");
    run.folder.Touch(L"windows\\Downloaded Program Files\\CaldrinExp.dll");
    run.removalPlatform = &platform;
    run.onTick = [&](DialogRun& r) { platform.dialog = r.dialog->Handle(); };
    EXPECT_EQ(IDCANCEL, run.Run(L""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(platform.cancelled);
    EXPECT_EQ(std::vector<std::wstring>{kIncorrect}, run.prompt.texts);
    EXPECT_TRUE(run.service.Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(run.folder.Path() / L"windows" /
                                         L"Downloaded Program Files" / L"Brenvo.dll"));
    EXPECT_TRUE(std::filesystem::exists(run.folder.Path() / L"windows" /
                                        L"Downloaded Program Files" / L"CaldrinExp.dll"));
  }
}

// A frame of the browser's class in this process, which the dialog's browser check is told holds
// a present component's module; closing it destroys it.
class HeldBrowserFrame {
 public:
  HeldBrowserFrame() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"IEFrame";
    ::RegisterClassW(&wc);
    frame_.Reset(::CreateWindowExW(0, L"IEFrame", L"browser", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                   nullptr, wc.hInstance, nullptr));
  }
  void HoldFor(DialogRun& run) const {
    run.browsers.holder = ::GetCurrentProcessId();
    run.browsers.module = L"C:\\PROGRAM FILES\\BROWSER\\BRENVO.DLL";
  }
  HWND Get() const { return frame_.Get(); }

 private:
  StandInTurn turn_;  // a frame of the browser's class on the shared desktop
  ScopedWindow frame_;
};

// Cancel while browser windows are being closed ends the run there, before the removal: nothing
// in the store is touched and nothing is installed.
TEST(InstallerDialog, CancelWhileBrowsersCloseEndsTheRunBeforeTheRemoval) {
  for (const CancelWay& way : kCancelWays) {
    SCOPED_TRACE(way.how);
    HeldBrowserFrame frame;
    ASSERT_NE(nullptr, frame.Get());
    DialogRun run;
    frame.HoldFor(run);
    run.AddCab(L"Brenvo.cab", InstallsScript());
    run.folder.Touch(L"windows\\Downloaded Program Files\\Brenvo.dll");
    bool pressed = false;
    run.onTick = [&](DialogRun& r) {
      if (pressed || r.dialog->RunState().CurrentPhase() != CInstallRun::Phase::kPreparing) return;
      pressed = true;
      way.press(r.dialog->Handle());
    };
    EXPECT_EQ(IDCANCEL, run.Run(L""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(::IsWindow(frame.Get()));  // it was asked to close
    EXPECT_TRUE(std::filesystem::exists(run.folder.Path() / L"windows" /
                                        L"Downloaded Program Files" / L"Brenvo.dll"));
    EXPECT_TRUE(run.service.Requests().empty());
    EXPECT_TRUE(run.prompt.texts.empty());
    EXPECT_TRUE(run.dialog->RunReport().Text().empty());
  }
}

// Failed rows are never reported as success: whatever the mode, the run ends with a warning
// that counts them and names the log. Without failures the success message stays the mode's.
TEST(InstallerDialog, FinalMessageTellsFailuresApartFromSuccess) {
  const struct {
    const wchar_t* commandLine;
    bool caldrinFails;
    bool failureMessage;
    bool successMessage;
  } cases[] = {
      {L"", true, true, false},
      {L"4", true, true, false},
      {L"", false, false, false},
      {L"4", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "mode \""
                 << std::string(c.commandLine, c.commandLine + std::wcslen(c.commandLine)) << "\""
                 << (c.caldrinFails ? ", a row fails" : ""));
    DialogRun run;
    run.AddCab(L"Brenvo.cab", InstallsScript());
    run.AddCab(L"Caldrin.cab", c.caldrinFails ? FailsScript() : InstallsScript());
    EXPECT_EQ(IDOK, run.Run(c.commandLine));
    EXPECT_FALSE(run.timedOut);
    std::vector<std::wstring> texts;
    std::vector<UINT> styles;
    if (c.failureMessage) {
      texts.push_back(FailureMessage(1, 2, run.dialog->LogPath()));
      styles.push_back(MB_OK | MB_ICONWARNING);
    }
    if (c.successMessage) {
      texts.push_back(L"Completed installation successfully.");
      styles.push_back(MB_OK);
    }
    EXPECT_EQ(texts, run.prompt.texts);
    EXPECT_EQ(styles, run.prompt.styles);
  }
}

// The removal command is taken only while the dialog is idle. During a run it would delete what
// a binding installs and move the row index, so it is ignored there.
TEST(InstallerDialog, RemovalCommandIsTakenOnlyWhileIdle) {
  // While a row is in the engine: nothing is removed and the run goes on as it was.
  {
    DialogRun run;
    const std::filesystem::path stored =
        run.folder.Path() / L"windows" / L"Downloaded Program Files" / L"Brenvo.dll";
    BindScript script = InstallsScript();
    script.steps.insert(script.steps.begin() + 3, BindStep::Action([&](IBindStatusCallback*) {
                          run.folder.Touch(L"windows\\Downloaded Program Files\\Brenvo.dll");
                          run.Press(IDC_REMOVE_COMPONENTS);
                        }));
    run.AddCab(L"Brenvo.cab", script);
    run.AddCab(L"Caldrin.cab", InstallsScript());
    EXPECT_EQ(IDOK, run.Run(L""));
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(std::filesystem::exists(stored));
    EXPECT_EQ((std::vector<std::wstring>{L"Brenvo.cab", L"Caldrin.cab"}), run.RequestedCabs());
    EXPECT_EQ(2u, run.dialog->InstalledCount());
    EXPECT_EQ(kCatalogSize, run.dialog->RunReport().Entries().size());
  }
  // While idle (a manual start, before Install): the store is cleared and the dialog stays.
  {
    DialogRun run;
    run.AddCab(L"Brenvo.cab", InstallsScript());
    const std::filesystem::path stored =
        run.folder.Path() / L"windows" / L"Downloaded Program Files" / L"Brenvo.dll";
    run.folder.Touch(L"windows\\Downloaded Program Files\\Brenvo.dll");
    bool asked = false;
    run.onTick = [&](DialogRun& r) {
      if (!asked) {
        asked = true;
        r.Press(IDC_REMOVE_COMPONENTS);
      } else if (!std::filesystem::exists(stored) && r.dialog->RunState().Idle()) {
        r.Press(IDCANCEL);
      }
    };
    EXPECT_EQ(IDCANCEL, run.Run(L"1"));
    EXPECT_FALSE(run.timedOut);
    EXPECT_FALSE(std::filesystem::exists(stored));
    EXPECT_TRUE(run.service.Requests().empty());
    EXPECT_TRUE(run.prompt.texts.empty());
  }
}

// Command 1025 opens the maker's page with the show state the command asks for.
TEST(InstallerDialog, MakerHomePageOpensShown) {
  DialogRun run;
  bool asked = false;
  run.onTick = [&](DialogRun& r) {
    if (!asked) {
      asked = true;
      r.Press(IDC_MAKER_HOME_PAGE);
    } else {
      r.Press(IDCANCEL);
    }
  };
  EXPECT_EQ(IDCANCEL, run.Run(L"1"));
  EXPECT_EQ((std::vector<std::pair<std::wstring, int>>{{kMakerHomePage, SW_SHOW}}),
            run.launcher.opened);
}

// The system menu's About item opens the About box with the version text; low bits of the
// command are ignored.
TEST(InstallerDialog, AboutBoxShowsTheVersion) {
  DialogRun run;
  std::wstring versionText;
  bool asked = false;
  run.onTick = [&](DialogRun& r) {
    if (!asked) {
      asked = true;
      ::PostMessageW(r.dialog->Handle(), WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
      return;
    }
    HWND about = ::FindWindowW(nullptr, L"About Local Installer");
    if (about == nullptr || ::GetWindowThreadProcessId(about, nullptr) != ::GetCurrentThreadId())
      return;
    versionText = WindowText(::GetDlgItem(about, IDC_ABOUT_VERSION));
    ::PostMessageW(about, WM_COMMAND, IDOK, 0);
    r.Press(IDCANCEL);
  };
  EXPECT_EQ(IDCANCEL, run.Run(L"1"));
  EXPECT_FALSE(run.timedOut);
  // The project's version, as the resources were built with it, in the About box's commas.
  std::wstring expected = L"Local Installer Version " INSTALLER_VERSION_TEXT;
  std::replace(expected.begin(), expected.end(), L'.', L',');
  EXPECT_EQ(expected, versionText);
}

TEST(InstallerDialog, TitleAndAboutTextCarryTheProgramVersion) {
  DialogRun run;
  std::wstring windowTitle, menuItem;
  run.onTick = [&](DialogRun& r) {
    windowTitle = WindowText(r.dialog->Handle());
    wchar_t item[64] = {};
    ::GetMenuStringW(::GetSystemMenu(r.dialog->Handle(), FALSE), IDM_ABOUTBOX, item, 64,
                     MF_BYCOMMAND);
    menuItem = item;
    r.Press(IDCANCEL);
  };
  EXPECT_EQ(IDCANCEL, run.Run(L"1"));
  const auto version = FileVersionOf(ModuleFilePath(nullptr));
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(FormatWindowTitle(L"Local Installer ", *version), run.dialog->Title());
  EXPECT_EQ(run.dialog->Title(), windowTitle);
  EXPECT_EQ(FormatAboutText(L"Local Installer ", *version), run.dialog->AboutText());
  EXPECT_EQ(L"About Local Installer(&A)...", menuItem);
}

}  // namespace
