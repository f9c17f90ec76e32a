#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "common/bind/bind_status_owner.h"
#include "common/bind/bind_status_reader.h"
#include "common/scoped_owner.h"
#include "common/user_prompt.h"

class CDownloadProgressDlg;

// One transfer of DownloadFile.
struct DownloadRequest {
  std::wstring url;  // absolute; empty when the page could not resolve it (the start fails)
  std::wstring localPath;
  std::wstring fileName;
  std::wstring title;             // the dialog's caption
  IBindHost* bindHost = nullptr;  // the page's, when it offers one
  HWND owner = nullptr;           // the dialog's owner when no window is active
};

// How a transfer ended, as the page hears it: errorCode 0 and the local path
// (OnDownloadCompleted), or OnDownloadError's code and text.
struct DownloadOutcome {
  LONG errorCode = 0;
  std::wstring text;
};

// Runs one transfer into a local file under the modal "Downloader" dialog, on the calling
// (page's) thread, through the URL moniker service with the cache left out. The file is created
// with the first bytes (a resource of no bytes gives an empty file) and written as they come;
// nothing is deleted after a failure or a cancel, except an error page the server sent in place
// of the resource. Outcomes:
// - completed: every byte is in the file;
// - 1007 with the stop's text: the user cancelled (or End) and the service reported the abort;
// - 1008 with string 1008 and the start's code: the transfer could not start;
// - 1008 with string 1008: the service failed, the server answered with an HTTP error status,
//   the file could not be created or written, or the connection ended before the announced size.
class CDownloader final : private IBindStatusOwner {
 public:
  static constexpr DWORD kBindFlags =
      BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_DIRECT_READ;

  explicit CDownloader(IUserPrompt& prompt);
  ~CDownloader();
  CDownloader(const CDownloader&) = delete;
  CDownloader& operator=(const CDownloader&) = delete;

  // Runs the transfer, once per object; returns when it has ended and nothing of it runs on.
  DownloadOutcome Run(const DownloadRequest& request);
  // Ends a running transfer as a cancel does, without asking (the control goes).
  void End();

 private:
  HRESULT OnBindProgress(ULONG progress, ULONG progressMax, ULONG status,
                         const wchar_t* text) override;
  HRESULT OnBindData(const BYTE* bytes, size_t count) override;
  void OnBindStop(HRESULT result, const std::wstring& text) override;
  HWND BindWindow() override { return ::GetActiveWindow(); }

  // The failure an HTTP error status calls for, once the response is known.
  HRESULT CheckHttpStatus();
  HRESULT CreateLocalFile();
  void Show(const std::wstring& status, bool throttled);
  // Turns the stop into the outcome, once, and ends the dialog.
  void Conclude(HRESULT result, const std::wstring& text);

  IUserPrompt& prompt_;
  DownloadRequest request_;
  Microsoft::WRL::ComPtr<CBindStatusReader> reader_;
  CDownloadProgressDlg* dialog_ = nullptr;  // while Run shows it
  ScopedFile file_;
  bool fileCreated_ = false;
  bool statusChecked_ = false;
  bool httpRefused_ = false;
  HRESULT ownFailure_ = S_OK;  // why we ended the transfer ourselves
  ULONG total_ = 0;            // announced size; 0 when unknown
  uint64_t received_ = 0;      // written to the file
  bool stopped_ = false;
  DownloadOutcome outcome_;
};
