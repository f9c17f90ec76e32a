#include "platform/code_base_download.h"

#include <objbase.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cwchar>

#include "common/bind/http_status.h"
#include "common/com_initializer.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "common/text_conversion.h"
#include "common/win_error.h"
#include "platform/core/member_name.h"

namespace {

// Nothing read from the cache, nothing written to it, and no proxy's copy either.
constexpr DWORD kNoCacheFlags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;

// The URL's last path segment, so that the CAB keeps its name (its INF is found by it); a fixed
// name when the segment is no plain file name.
std::wstring FileNameOf(const std::wstring& url) {
  const std::wstring path = url.substr(0, url.find_first_of(L"?#"));
  std::wstring name = path.substr(path.find_last_of(L'/') + 1);
  if (SUCCEEDED(::UrlUnescapeW(name.data(), nullptr, nullptr, URL_UNESCAPE_INPLACE)))
    name.resize(std::wcslen(name.c_str()));
  return IsPlainMemberName(WideToUtf8(name)) ? name : L"codebase.cab";
}

// "text/html", whatever parameters follow it.
bool IsWebPageType(const wchar_t* type) {
  if (type == nullptr) return false;
  std::wstring_view mime(type);
  mime = mime.substr(0, mime.find(L';'));
  while (!mime.empty() && mime.back() == L' ') mime.remove_suffix(1);
  return EqualsNoCase(mime, L"text/html");
}

}  // namespace

CCodeBaseDownload::~CCodeBaseDownload() {
  if (reader_) reader_->Detach();
  output_.Reset();
  if (!file_.empty()) ::DeleteFileW(file_.c_str());
  if (!folder_.empty()) ::RemoveDirectoryW(folder_.c_str());
}

HRESULT CCodeBaseDownload::MakeFile(const std::wstring& url) {
  GUID guid;
  HRESULT hr = ::CoCreateGuid(&guid);
  if (FAILED(hr)) return hr;
  wchar_t name[64];
  swprintf(name, 64, L"kvcd-%08lx%04x%04x", guid.Data1, guid.Data2, guid.Data3);
  const std::wstring folder = TempFolder() + name;
  // Fresh: an existing folder of that name is not ours.
  if (!::CreateDirectoryW(folder.c_str(), nullptr)) return HResultFromLastError();
  folder_ = folder;
  file_ = folder_ + L"\\" + FileNameOf(url);
  output_.Reset(::CreateFileW(file_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!output_) {
    hr = HResultFromLastError();
    file_.clear();
  }
  return hr;
}

HRESULT CCodeBaseDownload::Run(const std::wstring& url, const std::atomic<bool>& cancel) {
  if (reader_ || !folder_.empty()) return E_UNEXPECTED;
  HRESULT hr = MakeFile(url);
  if (FAILED(hr)) return hr;
  // The binding's notifications come through this thread's messages.
  OleInitializer apartment;
  if (!apartment.Succeeded()) return apartment.Result();
  cancel_ = &cancel;
  reader_ = MakeComObject<CBindStatusReader>(static_cast<IBindStatusOwner&>(*this),
                                             BindStatusReaderOptions{kNoCacheFlags, kMaxBytes});
  hr = reader_->Start(url.c_str(), nullptr);
  while (SUCCEEDED(hr) && !stopped_) {
    // Asked again until the stop comes: an abort before the service hands over its binding
    // does nothing.
    if (cancel.load()) Refuse(E_ABORT);
    if (stopped_) break;
    (void)::MsgWaitForMultipleObjectsEx(0, nullptr, kPumpWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (!stopped_ && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  reader_->Detach();
  output_.Reset();  // the file is read next
  return FAILED(hr) ? hr : result_;
}

HRESULT CCodeBaseDownload::CheckStatus() {
  if (statusChecked_) return S_OK;
  const DWORD status = HttpStatusOf(*reader_.Get());
  if (status == 0) return S_OK;  // not HTTP, or no response yet
  statusChecked_ = true;
  // Some services report an error response as a success, with the error page as the resource.
  if (status == HTTP_STATUS_NOT_FOUND || status == HTTP_STATUS_GONE)
    return INET_E_RESOURCE_NOT_FOUND;
  return status >= HTTP_STATUS_BAD_REQUEST ? INET_E_DOWNLOAD_FAILURE : S_OK;
}

void CCodeBaseDownload::Refuse(HRESULT reason) {
  if (SUCCEEDED(refusal_)) refusal_ = reason;  // the first reason holds
  reader_->Abort();                            // the stop follows, perhaps from inside
}

HRESULT CCodeBaseDownload::OnBindProgress(ULONG, ULONG, ULONG status, const wchar_t* text) {
  if (FAILED(refusal_) || html_) return S_OK;
  const HRESULT hr = CheckStatus();
  if (FAILED(hr)) {
    Refuse(hr);
  } else if (status == BINDSTATUS_MIMETYPEAVAILABLE && IsWebPageType(text)) {
    // Reported as the saved web page of a file code base is; its body is not worth fetching.
    html_ = true;
    reader_->Abort();
  }
  return S_OK;
}

HRESULT CCodeBaseDownload::OnBindData(const BYTE* bytes, size_t count) {
  // A fast server can keep the reader busy inside one notification.
  if (cancel_->load()) return E_ABORT;
  const HRESULT hr = CheckStatus();
  if (FAILED(hr)) return hr;
  DWORD written = 0;
  if (!::WriteFile(output_.Get(), bytes, static_cast<DWORD>(count), &written, nullptr))
    return HResultFromLastError();
  return written == count ? S_OK : HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
}

void CCodeBaseDownload::OnBindStop(HRESULT result, const std::wstring&) {
  stopped_ = true;
  result_ = html_ ? S_OK : FAILED(refusal_) ? refusal_ : result;
}
