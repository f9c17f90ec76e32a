#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/window/dialog_impl.h"
#include "installer/browser_check.h"
#include "installer/catalog.h"
#include "installer/chart_control.h"
#include "installer/core/run_mode.h"
#include "installer/core/run_report.h"
#include "installer/install_engine.h"
#include "installer/install_messages.h"
#include "installer/install_run.h"
#include "installer/labeled_progress_ctrl.h"
#include "installer/removal_pass.h"
#include "installer/resource.h"

class ICodeDownloadService;
class IModuleLister;
class IProgramLauncher;
class IRemovalPlatform;
class IUserPrompt;

// What the dialog takes from outside; tests substitute the services.
struct InstallerEnvironment {
  std::wstring programPath;                         // "cabfiles" is looked up beside this file
  std::wstring commandLine;                         // the text after the program name
  ICodeDownloadService* downloadService = nullptr;  // null: the default service
  IUserPrompt* prompt = nullptr;                    // null: real message boxes
  IModuleLister* browserModules = nullptr;          // null: the modules browsers really hold
  IRemovalPlatform* removalPlatform = nullptr;      // null: real programs and waits
  IProgramLauncher* launcher = nullptr;             // null: the shell opens the web page
  std::wstring windowsFolder;                       // empty: the real one (its component store)
  std::wstring systemFolder;                        // empty: the real one
  ConsoleUserSettings user;                         // no root until the console user is known
};

// The main window: scans the catalog, runs the installation row by row through the engine, and
// closes when the run is over.
class CInstallerDlg : public CDialogImpl {
 public:
  explicit CInstallerDlg(InstallerEnvironment environment);

  // Run state, for whoever looks at the dialog from outside.
  const CCatalog& Catalog() const { return catalog_; }
  const CInstallRun& RunState() const { return run_; }
  bool FolderExists() const { return folderExists_; }
  size_t FoundCount() const { return run_.FoundCount(); }
  size_t InstalledCount() const { return run_.InstalledCount(); }
  size_t CurrentIndex() const { return run_.CurrentIndex(); }
  bool Installing() const { return run_.Installing(); }
  const RunMode& Mode() const { return mode_; }
  const CRunReport& RunReport() const { return run_.Report(); }
  const std::wstring& LogPath() const { return run_.LogPath(); }
  const std::wstring& Title() const { return title_; }
  const std::wstring& AboutText() const { return aboutText_; }
  const CLabeledProgressCtrl& CurrentBar() const { return currentBar_; }
  const CLabeledProgressCtrl& TotalBar() const { return totalBar_; }

  static constexpr UINT_PTR TIMER_RUN_WATCH = 1;
  static constexpr UINT_PTR TIMER_AUTOSTART = 2;

 protected:
  BEGIN_MSG_MAP(CInstallerDlg)
  MESSAGE_HANDLER(WM_INSTALL_DONE, OnInstallDone)
  MESSAGE_HANDLER(WM_INSTALL_PROGRESS, OnInstallProgress)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  MESSAGE_HANDLER(WM_PAINT, OnPaint)
  MESSAGE_HANDLER(WM_QUERYDRAGICON, OnQueryDragIcon)
  COMMAND_ID_HANDLER(IDC_INSTALL, StartRun)
  COMMAND_ID_HANDLER(IDC_REMOVE_COMPONENTS, RemoveInstalledComponents)
  COMMAND_ID_HANDLER(IDC_MAKER_HOME_PAGE, OpenMakerHomePage)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)
  COMMAND_ID_HANDLER(IDOK, OnEnterKey)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  void OnInitDialog() override;
  void OnDestroy() override;

 private:
  LRESULT OnInstallDone(WPARAM object, LPARAM outcome);
  LRESULT OnInstallProgress(WPARAM, LPARAM);
  LRESULT OnTimer(WPARAM id, LPARAM);
  LRESULT OnSysCommand(WPARAM command, LPARAM, bool& handled);
  LRESULT OnPaint(WPARAM, LPARAM, bool& handled);
  LRESULT OnQueryDragIcon(WPARAM, LPARAM);
  void StartRun();
  void OnCancel();
  void OnEnterKey() {}  // Enter must not end a run halfway

  void StartRow(bool firstRow);
  void OnRowObtained();
  void OnRowEnded(LONG outcome);
  void FinishRun();
  void AdvanceCurrentBar();

  // Steps of a run that close browser windows and remove what is installed.
  CBrowserCheck::Outcome CheckBrowserWindows();
  void RemoveInstalledComponents();  // command 1005
  void OpenMakerHomePage();

  std::wstring String(UINT id) const;
  int Message(UINT stringId);
  void ShowFailures();
  void SetCloseCaption(UINT stringId);

  InstallerEnvironment env_;
  ICodeDownloadService& downloadService_;
  IUserPrompt& prompt_;
  CInstallEngine engine_;
  CCatalog catalog_;
  CInstallRun run_;
  CChartControl chart_;
  CLabeledProgressCtrl currentBar_;
  CLabeledProgressCtrl totalBar_;
  RunMode mode_;
  std::wstring title_;
  std::wstring aboutText_;
  HICON icon_ = nullptr;
  bool folderExists_ = false;
  std::optional<CRemovalPass> removal_;  // made with the window, whose bars it drives
};
