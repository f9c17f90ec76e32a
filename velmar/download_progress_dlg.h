#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/user_prompt.h"
#include "common/window/dialog_impl.h"
#include "velmar/resource.h"

// The "Downloader" dialog of DownloadFile: a bar, a status line with the percentage, the byte
// counts and Cancel. It shows what the transfer tells it; Cancel, once confirmed, ends it with
// kCancelled. Updates that carry a running count are throttled for the whole process.
class CDownloadProgressDlg final : public CDialogImpl {
 public:
  static constexpr INT_PTR kCancelled = IDS_CANCELLED_BY_USER;

  // title: what the caption shows (see DownloadDialogTitle); prompt asks the Cancel question.
  CDownloadProgressDlg(std::wstring title, IUserPrompt& prompt);

  // Runs the dialog modally, owned by owner, until End or a confirmed Cancel.
  [[nodiscard]] HRESULT Run(HWND owner);
  // The status line "<status> : <percent>%", the bar and "<received> / <total>". A throttled
  // update is dropped within 500 ms of the last throttled one any dialog showed.
  void ShowProgress(const std::wstring& status, uint32_t received, uint32_t total, bool throttled);
  // Ends the dialog with result; asked before the dialog is up, it ends as soon as it comes up.
  // The first end stands: a Cancel confirmed after the transfer ended changes nothing.
  void End(INT_PTR result);

 protected:
  BEGIN_MSG_MAP(CDownloadProgressDlg)
  COMMAND_ID_HANDLER(IDC_DOWNLOAD_CANCEL, OnCancel)
  COMMAND_ID_HANDLER(IDCANCEL, OnCancel)  // Escape asks the same question
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  void OnInitDialog() override;

 private:
  void OnCancel();

  // The tick of the last throttled update shown, by any dialog of the process.
  static inline uint32_t lastThrottledShown_ = 0;

  const std::wstring title_;
  IUserPrompt& prompt_;
  bool asking_ = false;  // the Cancel question is up
  bool endRequested_ = false;
  INT_PTR requestedResult_ = 0;
};
