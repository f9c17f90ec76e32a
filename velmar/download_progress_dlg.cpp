#include "velmar/download_progress_dlg.h"

#include <commctrl.h>

#include <utility>

#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "common/window/centre_window.h"
#include "velmar/core/download_texts.h"

CDownloadProgressDlg::CDownloadProgressDlg(std::wstring title, IUserPrompt& prompt)
    : CDialogImpl(IDD_DOWNLOADER), title_(std::move(title)), prompt_(prompt) {}

HRESULT CDownloadProgressDlg::Run(HWND owner) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  (void)::InitCommonControlsEx(&controls);  // registered already in most processes
  return DoModal(ComModule::Instance(), owner);
}

void CDownloadProgressDlg::OnInitDialog() {
  ::SetWindowTextW(Handle(), title_.c_str());
  ::SendMessageW(Item(IDC_DOWNLOAD_PROGRESS), PBM_SETRANGE32, 0, 100);
  ::SendMessageW(Item(IDC_DOWNLOAD_PROGRESS), PBM_SETSTEP, 1, 0);
  CentreWindowOver(Handle(), ::GetWindow(Handle(), GW_OWNER));
  // The transfer ended before the dialog came up.
  if (endRequested_) EndDialog(requestedResult_);
}

void CDownloadProgressDlg::ShowProgress(const std::wstring& status, uint32_t received,
                                        uint32_t total, bool throttled) {
  if (throttled && !ThrottleAllows(::GetTickCount(), lastThrottledShown_)) return;
  if (Handle() == nullptr) return;
  const int percent = DownloadPercent(received, total);
  ::SetWindowTextW(Item(IDC_DOWNLOAD_BYTES), ByteCountsText(received, total).c_str());
  ::SetWindowTextW(Item(IDC_DOWNLOAD_STATUS), StatusLineText(status, percent).c_str());
  ::SendMessageW(Item(IDC_DOWNLOAD_PROGRESS), PBM_SETPOS, percent, 0);
}

void CDownloadProgressDlg::End(INT_PTR result) {
  if (endRequested_) return;  // the first end stands
  endRequested_ = true;
  requestedResult_ = result;
  if (Handle() != nullptr) EndDialog(result);
}

void CDownloadProgressDlg::OnCancel() {
  if (asking_) return;  // one question at a time
  asking_ = true;
  const HINSTANCE module = ComModule::Instance();
  const int answer = prompt_.Show(Handle(), LoadResourceString(module, IDS_CANCEL_QUESTION),
                                  LoadResourceString(module, IDS_CONFIRMATION_CAPTION),
                                  MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  asking_ = false;
  // The transfer may have ended while the question was up: its end stands.
  if (answer == IDYES) End(kCancelled);
}
