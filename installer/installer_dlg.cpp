#include "installer/installer_dlg.h"

#include <cwchar>

#include "common/module_info.h"
#include "common/user_prompt.h"
#include "installer/about_dlg.h"
#include "installer/browser_check.h"
#include "installer/core/version_text.h"
#include "installer/web_page.h"
#include "platform/code_download.h"

namespace {

constexpr int kCurrentBarSteps = 10;
constexpr DWORD kStepPauseMs = 50;
const wchar_t kTitlePrefix[] = L"Local Installer ";
const wchar_t kChartControlCab[] = L"Pelgor.cab";

// A row's outcome code as the report shows it: our own small codes in decimal, an HRESULT in hex.
std::wstring OutcomeText(LONG outcome) {
  if (outcome >= kOutcomeHtmlCodeBase && outcome <= kOutcomeNoError)
    return std::to_wstring(outcome);
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(outcome));
  return text;
}

}  // namespace

CInstallerDlg::CInstallerDlg(InstallerEnvironment environment)
    : CDialogImpl(IDD_INSTALLER_DIALOG),
      env_(std::move(environment)),
      downloadService_(env_.downloadService ? *env_.downloadService : DefaultCodeDownloadService()),
      prompt_(env_.prompt ? *env_.prompt : SystemUserPrompt()),
      engine_(downloadService_, env_.user) {
  selected_.fill(true);
}

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
  if (folderExists_) {
    foundCount_ = catalog_.FoundCount();
  } else {
    Message(IDS_NO_CAB_FOLDER);
    SetCloseCaption(IDS_CLOSE);
    ::EnableWindow(Item(IDC_INSTALL), FALSE);
  }

  removal_.emplace(RemovalContext{catalog_, selected_, currentBar_, totalBar_, Handle(),
                                  [this](UINT id) { return String(id); }, removing_,
                                  abortRequested_, installing_, currentIndex_, stepCount_},
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
  } else if (id == TIMER_RUN_WATCH && currentIndex_ == kCatalogSize) {
    currentBar_.ShowText(false);
    ::KillTimer(Handle(), TIMER_RUN_WATCH);
    FinishRun();
  }
  return 0;
}

void CInstallerDlg::StartRun() {
  runReport_.Clear();
  runLog_.Begin(env_.programPath);
  SetCloseCaption(IDS_CANCEL);
  ::EnableWindow(Item(IDC_INSTALL), FALSE);

  if (!CheckBrowserWindows()) {
    ::EnableWindow(Item(IDC_INSTALL), TRUE);
    return;
  }

  RemoveInstalledComponents();
  if (abortRequested_) {
    Message(IDS_INSTALL_INCORRECT);
    EndDialog(IDCANCEL);
    return;
  }

  currentIndex_ = 0;
  if (!FindNextRow()) return;  // nothing to install: Cancel is left to close the dialog
  StartRow(true);
}

bool CInstallerDlg::FindNextRow() {
  for (; currentIndex_ < kCatalogSize; ++currentIndex_) {
    const CatalogEntry& row = catalog_.Row(currentIndex_);
    if (!selected_[currentIndex_]) {
      Report(row.cabName, IDS_NOT_SELECTED);
    } else if (!row.cabPresent) {
      Report(row.cabName, IDS_NO_FILE);
    } else {
      return true;
    }
  }
  return false;
}

void CInstallerDlg::StartRow(bool firstRow) {
  const CatalogEntry& row = catalog_.Row(currentIndex_);
  currentBar_.SetLabel(InsertPositional(String(IDS_ROW_INSTALLING), {row.cabName}));
  currentBar_.SetPos(0);
  currentBar_.SetRange(0, kCurrentBarSteps);
  currentBar_.SetStep(1);
  currentBar_.ShowText(true);

  if (firstRow) {
    totalBar_.ShowText(true);
    wchar_t label[128];
    std::swprintf(label, 128, String(IDS_TOTAL_INSTALLED).c_str(), 0,
                  static_cast<int>(foundCount_));
    totalBar_.SetLabel(label);
    totalBar_.SetPos(0);
    totalBar_.SetRange(0, static_cast<int>(foundCount_));
    totalBar_.SetStep(1);
  }

  rowObtained_ = false;
  engine_.SetTarget(row.clsid, row.cabPath, row.versionText);
  engine_.Start();
  if (row.cabName == kChartControlCab) RegisterChartControl();

  if (firstRow) {
    ::SetTimer(Handle(), TIMER_RUN_WATCH, 2000, nullptr);
    installing_ = true;
  }
}

void CInstallerDlg::Report(const std::wstring& cabName, UINT outcomeId) {
  Report(cabName, String(outcomeId));
}

void CInstallerDlg::Report(const std::wstring& cabName, const std::wstring& outcome) {
  runReport_.Append(cabName, outcome);
  runLog_.Append(cabName, outcome);
}

void CInstallerDlg::AdvanceCurrentBar() {
  currentBar_.StepIt();
  ::Sleep(kStepPauseMs);  // lets the user see each step
}

LRESULT CInstallerDlg::OnInstallProgress(WPARAM, LPARAM) {
  AdvanceCurrentBar();
  ++stepCount_;
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
  for (int step = stepCount_; step < kCurrentBarSteps; ++step) AdvanceCurrentBar();
  currentBar_.SetPos(0);
  currentBar_.SetRange(0, kCurrentBarSteps);
  stepCount_ = 0;

  ++installedCount_;
  wchar_t label[128];
  std::swprintf(label, 128, String(IDS_TOTAL_INSTALLED).c_str(), static_cast<int>(installedCount_),
                static_cast<int>(foundCount_));
  totalBar_.SetLabel(label);
  totalBar_.StepIt();

  Report(catalog_.Row(currentIndex_).cabName, IDS_INSTALL_COMPLETED);
  rowObtained_ = true;
  ++currentIndex_;
  if (abortRequested_) EndDialog(IDCANCEL);
}

void CInstallerDlg::OnRowEnded(LONG outcome) {
  if (abortRequested_) {
    Message(IDS_INSTALL_INCORRECT);
    EndDialog(IDCANCEL);
    return;
  }
  if (currentIndex_ >= kCatalogSize) return;

  if (!rowObtained_) {
    // The row ended without its class object: record it and move past it, so a run never
    // starts the same row twice.
    const CatalogEntry& row = catalog_.Row(currentIndex_);
    Report(row.cabName,
           InsertPositional(String(IDS_ROW_INSTALL_FAILED), {row.cabName, OutcomeText(outcome)}));
    currentBar_.SetPos(0);
    stepCount_ = 0;
    ++currentIndex_;
  }
  if (FindNextRow()) StartRow(false);
}

void CInstallerDlg::FinishRun() {
  installing_ = false;
  currentIndex_ = 0;
  stepCount_ = 0;
  ::EnableWindow(Item(IDC_INSTALL), TRUE);
  SetCloseCaption(IDS_CLOSE);
  totalBar_.ShowText(false);
  totalBar_.SetPos(0);
  if (mode_.finalMessage) Message(IDS_RUN_COMPLETED);
  EndDialog(IDOK);
}

void CInstallerDlg::OnCancel() {
  if (installing_) {
    ::KillTimer(Handle(), TIMER_RUN_WATCH);
    if (currentIndex_ >= kCatalogSize) {
      // Every row has ended and no notification is due: nothing is left to wait for.
      EndDialog(IDCANCEL);
      return;
    }
    (void)engine_.Abort();
    abortRequested_ = true;  // the engine's next notification closes the dialog
  } else if (removing_) {
    abortRequested_ = true;
  } else {
    EndDialog(IDCANCEL);
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

// Closes browser windows that hold a module about to be replaced; false when the user said No.
bool CInstallerDlg::CheckBrowserWindows() {
  return CBrowserCheck(catalog_, mode_.confirmBrowserClose, prompt_, Handle(),
                       ModuleBaseName(nullptr), String(IDS_CLOSE_BROWSER), env_.browserModules)
      .Run();
}

void CInstallerDlg::RemoveInstalledComponents() { removal_->RemoveInstalledComponents(); }

void CInstallerDlg::OpenMakerHomePage() {
  (void)OpenWebPage(kMakerHomePage, SW_SHOWNORMAL);
}  // nothing to report

void CInstallerDlg::RegisterChartControl() { removal_->RegisterChartControl(); }
