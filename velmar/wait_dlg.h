#pragma once

#include <windows.h>

#include <string>

#include "common/com_server/variant.h"
#include "common/scoped_bstr.h"
#include "common/window/dialog_impl.h"
#include "velmar/hand_off_messages.h"
#include "velmar/hand_off_services.h"
#include "velmar/update_steps.h"

// The "Please Wait ..." box of Update. While it initialises it reads the descriptor, checks the
// installer program's publisher and starts it; then it follows the installer through window
// messages until it reports an outcome, dies or never shows up. The result it ends with:
// -2 nothing to update, -1 no event (publisher check failed, or the installer ended silently),
// 0 succeeded, 1001 the installer did not start, 1003 no start message in time, 1004 the
// installer's window is no window or has gone, or the code the installer reported.
class CWaitDlg final : public CDialogImpl {
 public:
  static constexpr UINT_PTR TIMER_START_WAIT = 1;
  static constexpr UINT_PTR TIMER_ALIVE_CHECK = 2;

  CWaitDlg(const HandOffRequest& request, const HandOffServices& services);

  // The text the installer sent with its result; empty until then.
  std::wstring ResultText() const { return m_bstrResultText.Text(); }
  // The saved descriptor's path given to the installer; empty unless a copy was saved.
  std::wstring SavedCopyPath() const;
  // The installer's window as last announced; null until then.
  HWND InstallerWindow() const { return m_hInstallerWnd; }

  // Ends the dialog from outside (the control's work ends), with the given result.
  void End(INT_PTR result) { EndDialog(result); }

 protected:
  BEGIN_MSG_MAP(CWaitDlg)
  MESSAGE_HANDLER(WM_TIMER, OnTimer)
  MESSAGE_HANDLER(UM_INSTALLER_STARTED, OnInstallerStarted)
  MESSAGE_HANDLER(UM_GET_INFO_XML, OnGetInfoXml)
  MESSAGE_HANDLER(UM_GET_BASE_URL, OnGetBaseUrl)
  MESSAGE_HANDLER(UM_INSTALLER_NOTIFY, OnInstallerNotify)
  MESSAGE_HANDLER(UM_INSTALL_SUCCEEDED, OnInstallSucceeded)
  MESSAGE_HANDLER(UM_INSTALL_END_SILENT, OnInstallEndSilent)
  MESSAGE_HANDLER(WM_COPYDATA, OnCopyData)
  MESSAGE_HANDLER(WM_ACTIVATE, OnActivate)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  void OnInitDialog() override;
  void OnDestroy() override;

 private:
  LRESULT OnTimer(WPARAM id, LPARAM);
  LRESULT OnInstallerStarted(WPARAM window, LPARAM);
  LRESULT OnGetInfoXml(WPARAM window, LPARAM);
  LRESULT OnGetBaseUrl(WPARAM window, LPARAM);
  LRESULT OnInstallerNotify(WPARAM, LPARAM) { return 0; }
  LRESULT OnInstallSucceeded(WPARAM, LPARAM);
  LRESULT OnInstallEndSilent(WPARAM, LPARAM);
  LRESULT OnCopyData(WPARAM tag, LPARAM data);
  LRESULT OnActivate(WPARAM, LPARAM, bool& handled);

  // The descriptor, the publisher check and the launch; ends the dialog when any of them does.
  void Run();
  // Answers a request of the installer for a text, unless its window is gone (1004).
  void Reply(WPARAM requester, WPARAM tag, const std::string& text);

  const HandOffRequest request_;
  const HandOffServices services_;
  std::string m_strInstallerInfo;  // InstallerInfoXML in the ANSI code page
  HWND m_hInstallerWnd = nullptr;
  ScopedBstr m_bstrResultText;
  ScopedVariant m_varSavedXml;
};
