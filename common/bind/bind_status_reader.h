#pragma once

#include <windows.h>

#include <urlmon.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "common/bind/bind_status_owner.h"
#include "common/com_object.h"

// What an owner asks of its reader.
struct BindStatusReaderOptions {
  // Added to CBindStatusReader::kBindFlags in GetBindInfo; a download that must not come from
  // or go to the cache adds BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_RESYNCHRONIZE.
  DWORD extraBindFlags = 0;
  // The most bytes the owner takes in all; 0 for no limit.
  ULONGLONG maxBytes = 0;
};

// The bind-status callback of one binding: keeps the service's IBinding so that the owner can
// abort it, reads the resource's stream as data arrives, and hands progress, bytes, objects and
// one stop outcome to its owner through IBindStatusOwner, until the owner cuts the link with
// Detach or the binding stops. The service holds references to the reader, so it may outlive its
// owner: whatever comes after the link is cut goes nowhere.
//
// The data: from the first notification that carries a stream (TYMED_ISTREAM), the reader reads
// in chunks of kReadChunkSize until the stream answers S_FALSE, E_PENDING or no bytes, at each
// data notification and once more at a successful stop. A read that fails otherwise aborts the
// binding with that failure as the outcome.
//
// Outcomes the reader sets itself, which replace the service's result (E_ABORT, say):
// - kErrorTooLarge when the resource goes over BindStatusReaderOptions::maxBytes: the binding is
//   aborted and the owner has had exactly maxBytes bytes;
// - the failure an owner's OnBindData returned.
//
// One reader serves one binding, started with Start or requested by the owner through the
// context from PrepareBindContext. All calls on the binding's thread.
class CBindStatusReader final : public CComObject<IBindStatusCallback, IWindowForBindingUI> {
 public:
  static constexpr DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
  static constexpr ULONG kReadChunkSize = 64 * 1024;
  // HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE).
  static constexpr HRESULT kErrorTooLarge =
      MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_FILE_TOO_LARGE);

  explicit CBindStatusReader(IBindStatusOwner& owner, BindStatusReaderOptions options = {});

  // Binds url to storage (an IStream) asynchronously, through host when given (its CreateMoniker
  // resolves url, its MonikerBindToStorage binds) or else through a URL moniker of url itself.
  // - A failure: nothing runs and no OnBindStop comes. E_INVALIDARG for a null or empty url,
  //   E_UNEXPECTED when the reader already served a binding or was detached.
  // - S_OK: exactly one OnBindStop comes, unless the owner detaches first. It may come before
  //   Start returns: when the service ends the binding during the call (whatever it then
  //   answers), and when it answers S_OK at once, in which case the reader reads the stream it
  //   was given to the end and reports the stop itself.
  [[nodiscard]] HRESULT Start(const wchar_t* url, IBindHost* host);

  // A fresh bind context with this reader registered as its bind-status callback and
  // extra_bind_opts (BIND_MAYBOTHERUSER, say) added to its bind options, for a binding the owner
  // requests itself. The stop comes as the request's service sends it; a request that fails at
  // once brings none. On failure *context is null; E_UNEXPECTED as for Start.
  [[nodiscard]] HRESULT PrepareBindContext(DWORD extra_bind_opts, IBindCtx** context);

  // Asks the service to end the binding; its stop reports the outcome. Does nothing before the
  // service hands over its binding or after the stop.
  void Abort();

  // Cuts the link: from now on nothing reaches the owner. Does not end the binding.
  void Detach();

  // Another interface of the service's binding (IWinInetHttpInfo, say), while it runs: from the
  // service's handing it over to the stop, E_UNEXPECTED otherwise. On failure *object is null.
  [[nodiscard]] HRESULT QueryBinding(REFIID riid, void** object) const;

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD reserved, IBinding* binding) override;
  STDMETHODIMP GetPriority(LONG* priority) override;
  STDMETHODIMP OnLowResource(DWORD reserved) override;
  STDMETHODIMP OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                          LPCWSTR status_text) override;
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR error) override;
  STDMETHODIMP GetBindInfo(DWORD* bind_flags, BINDINFO* bind_info) override;
  STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                               STGMEDIUM* medium) override;
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* object) override;

  // IWindowForBindingUI: the owner's BindWindow, null once the link is cut.
  STDMETHODIMP GetWindow(REFGUID reason, HWND* window) override;

 private:
  ~CBindStatusReader() override;

  // Reads what the stream holds now, handing it to the owner within the cap.
  void ReadAvailable();
  // Ends the binding for a reason of the reader's own, which becomes the stop's outcome.
  void Fail(HRESULT outcome);
  // The one stop: releases the binding and the stream, then tells the owner, if still linked.
  void Finish(HRESULT result, const std::wstring& text);
  // Marks the reader as having served its binding; false when it already had.
  bool Claim();

  IBindStatusOwner* owner_;  // null once detached or stopped
  const BindStatusReaderOptions options_;
  Microsoft::WRL::ComPtr<IBinding> binding_;
  Microsoft::WRL::ComPtr<IStream> stream_;
  // One chunk, made at the first read; kept to the end, as the owner may stop the binding while
  // it looks at the bytes.
  std::unique_ptr<BYTE[]> buffer_;
  ULONGLONG bytesRead_ = 0;  // handed to the owner
  HRESULT outcome_ = S_OK;   // the reader's own reason to end, if any
  bool claimed_ = false;
  bool stopped_ = false;
};
