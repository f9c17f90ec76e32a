#include "velmar/downloader.h"

#include <wininet.h>

#include <algorithm>

#include "common/bind/http_status.h"
#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "common/win_error.h"
#include "velmar/core/download_path.h"
#include "velmar/core/download_texts.h"
#include "velmar/download_progress_dlg.h"
#include "velmar/resource.h"

namespace {

std::wstring DownloadFailedText() {
  return LoadResourceString(ComModule::Instance(), IDS_DOWNLOAD_FAILED);
}

}  // namespace

CDownloader::CDownloader(IUserPrompt& prompt) : prompt_(prompt) {}

CDownloader::~CDownloader() {
  if (reader_) reader_->Detach();
}

DownloadOutcome CDownloader::Run(const DownloadRequest& request) {
  if (reader_) return {IDS_DOWNLOAD_FAILED, DownloadFailedText() + StartFailureText(E_UNEXPECTED)};
  request_ = request;
  CDownloadProgressDlg dialog(DownloadDialogTitle(request.title, request.fileName), prompt_);
  dialog_ = &dialog;
  reader_ = MakeComObject<CBindStatusReader>(static_cast<IBindStatusOwner&>(*this),
                                             BindStatusReaderOptions{kBindFlags, 0});
  const HRESULT started = reader_->Start(request_.url.c_str(), request_.bindHost);
  if (FAILED(started)) {
    outcome_ = {IDS_DOWNLOAD_FAILED, DownloadFailedText() + StartFailureText(started)};
    stopped_ = true;
  } else if (!stopped_) {  // a stop during the start leaves nothing to show
    const HWND active = ::GetActiveWindow();
    const HRESULT shown = dialog.Run(active != nullptr ? active : request_.owner);
    if (FAILED(shown) && !stopped_) {
      reader_->Abort();
      reader_->Detach();
      file_.Reset();
      outcome_ = {IDS_DOWNLOAD_FAILED, DownloadFailedText() + StartFailureText(shown)};
      stopped_ = true;
    }
  }
  if (!stopped_) {
    // Cancelled: the service's stop may come inside the abort, or only later, when it would go
    // nowhere; either way the abort is reported once.
    reader_->Abort();
    if (!stopped_) {
      reader_->Detach();
      Conclude(E_ABORT, std::wstring());
    }
  }
  dialog_ = nullptr;
  return outcome_;
}

void CDownloader::End() {
  if (dialog_ != nullptr) dialog_->End(CDownloadProgressDlg::kCancelled);
}

HRESULT CDownloader::CheckHttpStatus() {
  if (statusChecked_) return S_OK;
  const DWORD status = HttpStatusOf(*reader_.Get());
  if (status == 0) return S_OK;
  statusChecked_ = true;
  if (status < HTTP_STATUS_BAD_REQUEST) return S_OK;
  httpRefused_ = true;
  return status == HTTP_STATUS_NOT_FOUND ? INET_E_RESOURCE_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
}

HRESULT CDownloader::OnBindProgress(ULONG, ULONG progressMax, ULONG status, const wchar_t*) {
  if (FAILED(ownFailure_)) return S_OK;
  ownFailure_ = CheckHttpStatus();
  if (FAILED(ownFailure_)) {
    reader_->Abort();  // the stop follows, perhaps from inside
    return S_OK;
  }
  if (status == BINDSTATUS_BEGINDOWNLOADDATA) {
    total_ = progressMax;
    Show(L"Download Starting...", false);
  }
  return S_OK;
}

HRESULT CDownloader::CreateLocalFile() {
  for (const std::wstring& folder : FoldersToCreate(request_.localPath)) {
    (void)::CreateDirectoryW(folder.c_str(), nullptr);  // there already, or the file fails
  }
  file_.Reset(::CreateFileW(request_.localPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) return HResultFromLastError();
  fileCreated_ = true;
  return S_OK;
}

HRESULT CDownloader::OnBindData(const BYTE* bytes, size_t count) {
  HRESULT hr = FAILED(ownFailure_) ? ownFailure_ : CheckHttpStatus();
  if (SUCCEEDED(hr) && !fileCreated_) hr = CreateLocalFile();
  if (SUCCEEDED(hr)) {
    DWORD written = 0;
    if (!::WriteFile(file_.Get(), bytes, static_cast<DWORD>(count), &written, nullptr)) {
      hr = HResultFromLastError();
    } else if (written != count) {
      hr = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
    }
    received_ += written;
  }
  if (FAILED(hr)) {
    ownFailure_ = hr;
    return hr;  // the reader ends the binding with it
  }
  Show(DownloadingText(request_.fileName), true);
  return S_OK;
}

void CDownloader::OnBindStop(HRESULT result, const std::wstring& text) {
  if (SUCCEEDED(result) && SUCCEEDED(ownFailure_)) {
    // A server that closes early without saying so has sent less than it announced.
    if (total_ != 0 && received_ < total_) {
      ownFailure_ = INET_E_DOWNLOAD_FAILURE;
    } else if (!fileCreated_) {
      ownFailure_ = CreateLocalFile();  // a resource of no bytes is an empty file
    }
  }
  if (SUCCEEDED(ownFailure_)) Show(DownloadedText(request_.fileName), false);
  Conclude(result, text);
}

void CDownloader::Conclude(HRESULT result, const std::wstring& text) {
  if (stopped_) return;
  stopped_ = true;
  file_.Reset();
  if (httpRefused_ && fileCreated_) {
    (void)::DeleteFileW(request_.localPath.c_str());  // an error page is no download
  }
  if (SUCCEEDED(result) && SUCCEEDED(ownFailure_)) {
    outcome_ = {0, request_.localPath};
  } else if (SUCCEEDED(ownFailure_) && result == E_ABORT) {
    outcome_ = {IDS_CANNOT_CREATE_FILE, StopMessage(static_cast<uint32_t>(result), text)};
  } else {
    outcome_ = {IDS_DOWNLOAD_FAILED, DownloadFailedText()};
  }
  if (dialog_ != nullptr) dialog_->End(0);
}

void CDownloader::Show(const std::wstring& status, bool throttled) {
  if (dialog_ == nullptr) return;
  const auto shown = static_cast<uint32_t>(std::min<uint64_t>(received_, UINT32_MAX));
  dialog_->ShowProgress(status, shown, total_, throttled);
}
