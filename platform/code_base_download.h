#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <atomic>
#include <string>

#include "common/bind/bind_status_owner.h"
#include "common/bind/bind_status_reader.h"
#include "common/scoped_owner.h"

// A code base fetched from the network into a private file of its own, never through the
// browser's cache: at most kMaxBytes, an HTTP error status refused, and a web page refused as
// soon as its content type is known. The binding runs on the calling thread, which pumps its own
// messages meanwhile, so a cancel request is seen within about kPumpWaitMs. The file and its
// folder go with the object.
class CCodeBaseDownload final : private IBindStatusOwner {
 public:
  static constexpr ULONGLONG kMaxBytes = 64ull << 20;
  static constexpr DWORD kPumpWaitMs = 20;

  CCodeBaseDownload() = default;
  ~CCodeBaseDownload();
  CCodeBaseDownload(const CCodeBaseDownload&) = delete;
  CCodeBaseDownload& operator=(const CCodeBaseDownload&) = delete;

  // Fetches url, once per object, on a thread that has no multithreaded apartment. S_OK: File()
  // holds the whole resource, or IsHtml() says it is a web page (File() then holds at most its
  // first bytes). Failures: E_ABORT once cancel is set; CBindStatusReader::kErrorTooLarge past
  // kMaxBytes; INET_E_RESOURCE_NOT_FOUND for HTTP 404 and 410, INET_E_DOWNLOAD_FAILURE for any
  // other status from 400 up; E_UNEXPECTED on a second call; otherwise the system's.
  [[nodiscard]] HRESULT Run(const std::wstring& url, const std::atomic<bool>& cancel);

  bool IsHtml() const { return html_; }
  // The private file; empty until Run has made it.
  const std::wstring& File() const { return file_; }

 private:
  HRESULT OnBindProgress(ULONG progress, ULONG progressMax, ULONG status,
                         const wchar_t* text) override;
  HRESULT OnBindData(const BYTE* bytes, size_t count) override;
  void OnBindStop(HRESULT result, const std::wstring& text) override;

  HRESULT MakeFile(const std::wstring& url);
  // The failure the response's HTTP status calls for; S_OK while there is none to read yet.
  HRESULT CheckStatus();
  // Ends the binding with reason as its outcome.
  void Refuse(HRESULT reason);

  Microsoft::WRL::ComPtr<CBindStatusReader> reader_;
  const std::atomic<bool>* cancel_ = nullptr;
  std::wstring folder_;
  std::wstring file_;
  ScopedFile output_;
  bool statusChecked_ = false;
  bool html_ = false;
  bool stopped_ = false;
  HRESULT refusal_ = S_OK;
  HRESULT result_ = S_OK;
};
