#include "installer/installer_dlg.h"

#include <cwchar>

#include "common/module_info.h"
#include "common/system_folders.h"
#include "common/user_prompt.h"
#include "installer/about_dlg.h"
#include "installer/core/version_text.h"
#include "installer/system_removal_platform.h"
#include "installer/web_page.h"
#include "platform/code_download.h"

namespace {

constexpr int kCurrentBarSteps = 10;
constexpr DWORD kStepPauseMs = 50;
const wchar_t kTitlePrefix[] = L"Local Installer ";

std::wstring FormatCounts(const std::wstring& format, size_t done, size_t total) {
  wchar_t label[128];
  const int written =
      std::swprintf(label, 128, format.c_str(), static_cast<int>(done), static_cast<int>(total));
  return written < 0 ? std::wstring() : std::wstring(label, written);
}

}  // namespace

CInstallerDlg::CInstallerDlg(InstallerEnvironment environment)
    : CDialogImpl(IDD_INSTALLER_DIALOG),
      env_(std::move(environment)),
      downloadService_(env_.downloadService ? *env_.downloadService : DefaultCodeDownloadService()),
      prompt_(env_.prompt ? *env_.prompt : SystemUserPrompt()),
      engine_(downloadService_, env_.user),
      run_(catalog_, [this](UINT id) { return String(id); }),
      chart_(env_.removalPlatform ? *env_.removalPlatform : SystemRemovalPlatform(),
             env_.systemFolder.empty() ? SystemFolder() : env_.systemFolder) {}

std::wstring CInstallerDlg::String(UINT id) const { return LoadResourceString(Instance(), id); }

int CInstallerDlg::Message(UINT stringId) {
  return prompt_.Show(Handle(), String(stringId), ModuleBaseName(nullptr), MB_OK);
}

void CInstallerDlg::SetCloseCaption(UINT stringId) {
  ::SetWindowTextW(Item(IDCANCEL), String(stringId).c_str());
}

void CInstallerDlg::OnInitDialog() {
  const std::wstring aboutItem = String(IDS_ABOUTBOX);
  if (HMENU menu = ::GetSystemMenu(Handle(), FALSE); menu != nullptr && !aboutItem.empty()) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, aboutItem.c_str());
  }

  icon_ = ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME));
  ::SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  currentBar_.Attach(Item(IDC_CURRENT_PROGRESS));
  totalBar_.Attach(Item(IDC_TOTAL_PROGRESS));

  folderExists_ = catalog_.Scan(env_.programPath);
  if (!folderExists_) {
    Message(IDS_NO_CAB_FOLDER);
    SetCloseCaption(IDS_CLOSE);
    ::EnableWindow(Item(IDC_INSTALL), FALSE);
  }

  removal_.emplace(
      run_,
      RemovalDisplay{currentBar_, totalBar_, Handle(), [this](UINT id) { return String(id); }},
      env_.removalPlatform, env_.windowsFolder, env_.systemFolder);

  if (!engine_.Create(Handle())) {
    // Without the engine no row can report back; leave the dialog unable to start a run.
    ::EnableWindow(Item(IDC_INSTALL), FALSE);
    folderExists_ = false;
  }

  currentBar_.ShowText(false);
  totalBar_.ShowText(false);

  mode_ = RunModeFromCommandLine(env_.commandLine);
  if (mode_.autoStart) {
    ::ShowWindow(Item(IDC_INSTALL), SW_HIDE);
    ::SetTimer(Handle(), TIMER_AUTOSTART, 100, nullptr);
  }

  const auto version = FileVersionOf(ModuleFilePath(nullptr)).value_or(std::array<unsigned, 4>{});
  title_ = FormatWindowTitle(kTitlePrefix, version);
  aboutText_ = FormatAboutText(kTitlePrefix, version);
  ::SetWindowTextW(Handle(), title_.c_str());
}

void CInstallerDlg::OnDestroy() { engine_.Destroy(); }

LRESULT CInstallerDlg::OnTimer(WPARAM id, LPARAM) {
  if (id == TIMER_AUTOSTART) {
    // Wait until the dialog is really up (its title findable) before starting by itself.
    if (::FindWindowW(nullptr, title_.c_str()) != nullptr) {
      ::KillTimer(Handle(), TIMER_AUTOSTART);
      if (folderExists_) StartRun();
    }
  } else if (id == TIMER_RUN_WATCH && run_.Installing() && run_.AllRowsEnded()) {
    currentBar_.ShowText(false);
    ::KillTimer(Handle(), TIMER_RUN_WATCH);
    FinishRun();
  }
  return 0;
}

void CInstallerDlg::StartRun() {
  if (!run_.Begin(env_.programPath)) return;  // one run at a time
  SetCloseCaption(IDS_CANCEL);
  ::EnableWindow(Item(IDC_INSTALL), FALSE);

  const CBrowserCheck::Outcome browsers = CheckBrowserWindows();
  if (run_.AbortRequested()) {
    // Cancelled while browsers were closing: nothing was removed, nothing is installed.
    EndDialog(IDCANCEL);
    return;
  }
  if (browsers != CBrowserCheck::Outcome::kDone) {
    // The user kept a browser open, or the thread is quitting: the run does not begin.
    run_.Abandon();
    ::EnableWindow(Item(IDC_INSTALL), TRUE);
    return;
  }

  removal_->RemoveInstalledComponents();
  if (run_.AbortRequested()) {
    Message(IDS_INSTALL_INCORRECT);
    EndDialog(IDCANCEL);
    return;
  }
  if (removal_->QuitRequested()) {
    run_.Abandon();  // the quit request ends the dialog's loop next
    return;
  }

  if (!run_.FindNextRow()) return;  // nothing to install: Cancel is left to close the dialog
  StartRow(true);
}

void CInstallerDlg::StartRow(bool firstRow) {
  const CatalogEntry& row = run_.CurrentRow();
  currentBar_.SetLabel(InsertPositional(String(IDS_ROW_INSTALLING), {row.cabName}));
  currentBar_.SetPos(0);
  currentBar_.SetRange(0, kCurrentBarSteps);
  currentBar_.SetStep(1);
  currentBar_.ShowText(true);

  if (firstRow) {
    totalBar_.ShowText(true);
    totalBar_.SetLabel(FormatCounts(String(IDS_TOTAL_INSTALLED), 0, run_.FoundCount()));
    totalBar_.SetPos(0);
    totalBar_.SetRange(0, static_cast<int>(run_.FoundCount()));
    totalBar_.SetStep(1);
    ::SetTimer(Handle(), TIMER_RUN_WATCH, 2000, nullptr);
  }

  // The run is installing before the engine starts: the chart control's registration below
  // waits with the dialog's messages handled, and the row's notifications may come meanwhile.
  run_.RowStarted();
  const bool chartControl = !NamesIn(kCatalogRows[run_.CurrentIndex()].companions).empty();
  engine_.SetTarget(row.clsid, row.cabPath, row.versionText);
  engine_.Start();
  if (chartControl) {
    chart_.Register(catalog_.CompanionControlPath(), catalog_.CompanionProgramPath());
  }
}

void CInstallerDlg::AdvanceCurrentBar() {
  currentBar_.StepIt();
  ::Sleep(kStepPauseMs);  // lets the user see each step
}

LRESULT CInstallerDlg::OnInstallProgress(WPARAM, LPARAM) {
  AdvanceCurrentBar();
  run_.CountStep();
  return 0;
}

LRESULT CInstallerDlg::OnInstallDone(WPARAM object, LPARAM outcome) {
  if (object != 0) {
    OnRowObtained();
  } else {
    OnRowEnded(static_cast<LONG>(outcome));
  }
  return 0;
}

void CInstallerDlg::OnRowObtained() {
  for (int step = run_.StepCount(); step < kCurrentBarSteps; ++step) AdvanceCurrentBar();
  currentBar_.SetPos(0);
  currentBar_.SetRange(0, kCurrentBarSteps);

  run_.RowObtained();
  totalBar_.SetLabel(
      FormatCounts(String(IDS_TOTAL_INSTALLED), run_.InstalledCount(), run_.FoundCount()));
  totalBar_.StepIt();
  if (run_.AbortRequested()) EndDialog(IDCANCEL);
}

void CInstallerDlg::OnRowEnded(LONG outcome) {
  if (run_.AbortRequested()) {
    Message(IDS_INSTALL_INCORRECT);
    EndDialog(IDCANCEL);
    return;
  }
  if (run_.AllRowsEnded()) return;
  if (run_.RowEnded(outcome)) currentBar_.SetPos(0);
  if (run_.FindNextRow()) StartRow(false);
}

void CInstallerDlg::FinishRun() {
  run_.Finish();
  ::EnableWindow(Item(IDC_INSTALL), TRUE);
  SetCloseCaption(IDS_CLOSE);
  totalBar_.ShowText(false);
  totalBar_.SetPos(0);
  // A run with failed rows never reads as a success, whatever the mode.
  if (run_.FailedCount() != 0) {
    ShowFailures();
  } else if (mode_.finalMessage) {
    Message(IDS_RUN_COMPLETED);
  }
  EndDialog(IDOK);
}

void CInstallerDlg::ShowFailures() {
  const std::wstring log = run_.LogPath().empty() ? String(IDS_NO_RUN_LOG) : run_.LogPath();
  const std::wstring text = InsertPositional(
      String(IDS_RUN_FAILED),
      {std::to_wstring(run_.FailedCount()), std::to_wstring(run_.FoundCount()), log});
  prompt_.Show(Handle(), text, ModuleBaseName(nullptr), MB_OK | MB_ICONWARNING);
}

void CInstallerDlg::OnCancel() {
  switch (run_.RequestCancel()) {
    case CInstallRun::CancelStep::kClose:
      EndDialog(IDCANCEL);
      break;
    case CInstallRun::CancelStep::kAbortRow:
      ::KillTimer(Handle(), TIMER_RUN_WATCH);
      (void)engine_.Abort();  // the engine's next notification closes the dialog
      break;
    case CInstallRun::CancelStep::kStopAfterStep:
      break;  // the browser check or the removal pass stops, and the run ends when it returns
  }
}

LRESULT CInstallerDlg::OnSysCommand(WPARAM command, LPARAM, bool& handled) {
  if ((command & 0xFFF0) != IDM_ABOUTBOX) {
    handled = false;  // the system's own commands
    return 0;
  }
  CAboutDlg about(aboutText_);
  (void)about.DoModal(Instance(), Handle());  // without its template the box just does not show
  return 0;
}

LRESULT CInstallerDlg::OnPaint(WPARAM, LPARAM, bool& handled) {
  if (!::IsIconic(Handle())) {
    handled = false;  // the dialog paints itself; only the minimised icon is ours
    return 0;
  }
  PAINTSTRUCT paint;
  HDC dc = ::BeginPaint(Handle(), &paint);
  ::SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  ::GetClientRect(Handle(), &client);
  const int cx = ::GetSystemMetrics(SM_CXICON);
  const int cy = ::GetSystemMetrics(SM_CYICON);
  ::DrawIcon(dc, (client.right - client.left - cx + 1) / 2,
             (client.bottom - client.top - cy + 1) / 2, icon_);
  ::EndPaint(Handle(), &paint);
  return 0;
}

LRESULT CInstallerDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(icon_); }

// Closes browser windows that hold a module about to be replaced.
CBrowserCheck::Outcome CInstallerDlg::CheckBrowserWindows() {
  return CBrowserCheck(catalog_, mode_.confirmBrowserClose, prompt_, Handle(),
                       ModuleBaseName(nullptr), String(IDS_CLOSE_BROWSER), env_.browserModules,
                       [this] { return run_.AbortRequested(); })
      .Run();
}

void CInstallerDlg::RemoveInstalledComponents() {
  // Never beside a run: it would delete files a binding is installing and move the row index.
  if (!run_.Idle()) return;
  removal_->RemoveInstalledComponents();
  totalBar_.ShowText(false);
  if (run_.AbortRequested()) EndDialog(IDCANCEL);
}

void CInstallerDlg::OpenMakerHomePage() {
  (void)OpenWebPage(kMakerHomePage, SW_SHOW,
                    env_.launcher ? *env_.launcher : SystemProgramLauncher());  // nothing to report
}
