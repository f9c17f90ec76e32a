#include "velmar/wait_dlg.h"

#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "common/text_conversion.h"
#include "common/window/centre_window.h"
#include "velmar/core/hand_off_protocol.h"
#include "velmar/publisher_check.h"
#include "velmar/resource.h"
#include "velmar/update_descriptor.h"
#include "velmar/version_check.h"

CWaitDlg::CWaitDlg(const HandOffRequest& request, const HandOffServices& services)
    : CDialogImpl(IDD_WAIT),
      request_(request),
      services_(services),
      m_strInstallerInfo(WideToAnsi(request.installerInfoXml)) {}

std::wstring CWaitDlg::SavedCopyPath() const {
  const VARIANT& saved = m_varSavedXml.Get();
  if (saved.vt != VT_BSTR || saved.bstrVal == nullptr) return {};
  return std::wstring(saved.bstrVal, ::SysStringLen(saved.bstrVal));
}

void CWaitDlg::OnInitDialog() {
  CentreWindowOver(Handle(), ::GetActiveWindow());
  if (!request_.showWaitDialog) ::MoveWindow(Handle(), 0, 0, 0, 0, FALSE);  // runs all the same
  Run();
}

void CWaitDlg::OnDestroy() {
  ::KillTimer(Handle(), TIMER_START_WAIT);
  ::KillTimer(Handle(), TIMER_ALIVE_CHECK);
}

void CWaitDlg::Run() {
  const std::wstring& source =
      !request_.descriptorUrl.empty() ? request_.descriptorUrl : request_.installerInfoXml;
  {
    const CVersionCheck versions(services_.classesRoot);
    CUpdateDescriptor descriptor(versions);
    const DescriptorOutcome outcome = descriptor.Process(source);
    if (outcome == DescriptorOutcome::kNothingToUpdate) {
      EndDialog(kHandOffNothingToUpdate);
      return;
    }
    // A descriptor that did not load still lets the installer run; it has no copy to read.
    if (outcome == DescriptorOutcome::kUpdateNeeded && request_.saveXml) {
      m_varSavedXml = ScopedVariant(descriptor.SaveCopy().c_str());
    }
  }

  // Held from the check until the process has started: the file cannot be swapped in between.
  CPublisherCheck publisher(*services_.trust);
  if (services_.platform->ChecksPublisher() && !publisher.Check(request_.installerPath)) {
    const HINSTANCE module = ComModule::Instance();
    (void)services_.prompt->Show(nullptr, LoadResourceString(module, IDS_PUBLISHER_UNVERIFIED),
                                 LoadResourceString(module, IDS_ERROR_CAPTION),
                                 MB_OK | MB_ICONERROR);
    EndDialog(kHandOffNoEvent);
    return;
  }

  if (request_.installerPath.empty()) {
    EndDialog(IDS_INSTALLER_NOT_STARTED);
    return;
  }
  InstallerArguments arguments;
  arguments.installerPath = request_.installerPath;
  arguments.descriptorUrl = request_.descriptorUrl;
  arguments.saveXml = request_.saveXml;
  arguments.savedCopyPath = SavedCopyPath();
  arguments.dialogHandle = static_cast<LONG>(reinterpret_cast<LONG_PTR>(Handle()));
  // The verified path names the program: spaces in an unquoted path cannot make the system
  // start another one. The command line stays what installers expect.
  if (!services_.platform->StartProcess(request_.installerPath, InstallerCommandLine(arguments))) {
    EndDialog(IDS_INSTALLER_NOT_STARTED);
    return;
  }
  ::SetTimer(Handle(), TIMER_START_WAIT, services_.timing.startWaitMs, nullptr);
}

LRESULT CWaitDlg::OnTimer(WPARAM id, LPARAM) {
  if (id == TIMER_START_WAIT) {
    ::KillTimer(Handle(), TIMER_START_WAIT);
    EndDialog(IDS_NO_START_MESSAGE);
  } else if (id == TIMER_ALIVE_CHECK && !::IsWindow(m_hInstallerWnd)) {
    ::KillTimer(Handle(), TIMER_START_WAIT);
    ::KillTimer(Handle(), TIMER_ALIVE_CHECK);
    EndDialog(IDS_BAD_INSTALLER_WINDOW);
  }
  return 0;
}

LRESULT CWaitDlg::OnInstallerStarted(WPARAM window, LPARAM) {
  m_hInstallerWnd = reinterpret_cast<HWND>(window);
  ::KillTimer(Handle(), TIMER_START_WAIT);
  if (!::IsWindow(m_hInstallerWnd)) {
    m_hInstallerWnd = nullptr;
    EndDialog(IDS_BAD_INSTALLER_WINDOW);
    return 0;
  }
  ::SetTimer(Handle(), TIMER_ALIVE_CHECK, services_.timing.aliveCheckMs, nullptr);
  return 0;
}

LRESULT CWaitDlg::OnGetInfoXml(WPARAM window, LPARAM) {
  Reply(window, CD_INFO_XML, m_strInstallerInfo);
  return 0;
}

LRESULT CWaitDlg::OnGetBaseUrl(WPARAM window, LPARAM) {
  Reply(window, CD_BASE_URL, WideToAnsi(request_.pageBaseUrl));
  return 0;
}

void CWaitDlg::Reply(WPARAM requester, WPARAM tag, const std::string& text) {
  const HWND window = reinterpret_cast<HWND>(requester);
  if (::IsWindow(window)) m_hInstallerWnd = window;
  if (!::IsWindow(m_hInstallerWnd)) {
    EndDialog(IDS_BAD_INSTALLER_WINDOW);
    return;
  }
  COPYDATASTRUCT reply = {};
  reply.dwData = text.size();
  reply.cbData = static_cast<DWORD>(text.size() + 1);
  reply.lpData = const_cast<char*>(text.c_str());  // only read
  DWORD_PTR ignored = 0;
  // A hung installer is given up on; the alive check goes on looking at its window.
  (void)::SendMessageTimeoutW(m_hInstallerWnd, WM_COPYDATA, tag, reinterpret_cast<LPARAM>(&reply),
                              SMTO_NORMAL | SMTO_ABORTIFHUNG, services_.timing.replyTimeoutMs,
                              &ignored);
}

LRESULT CWaitDlg::OnInstallSucceeded(WPARAM, LPARAM) {
  ::KillTimer(Handle(), TIMER_START_WAIT);
  EndDialog(kHandOffSucceeded);
  return 0;
}

LRESULT CWaitDlg::OnInstallEndSilent(WPARAM, LPARAM) {
  EndDialog(kHandOffNoEvent);
  return 0;
}

LRESULT CWaitDlg::OnCopyData(WPARAM tag, LPARAM data) {
  const auto* result = reinterpret_cast<const COPYDATASTRUCT*>(data);
  if (tag != CD_INSTALL_RESULT || result == nullptr) return FALSE;
  // Only the bytes the message carries are read: a missing terminator or no data at all is
  // a short (or empty) text, never a read past them.
  (void)m_bstrResultText.Assign(AnsiToWide(ResultTextWithin(result->lpData, result->cbData)));
  EndDialog(static_cast<LONG>(result->dwData));
  return TRUE;
}

LRESULT CWaitDlg::OnActivate(WPARAM, LPARAM, bool& handled) {
  ::SetForegroundWindow(Handle());
  handled = false;  // the dialog manager still keeps track of the focus
  return 0;
}
