#include "common/bind/bind_status_reader.h"

#include <cstddef>
#include <cstring>
#include <utility>

using Microsoft::WRL::ComPtr;

CBindStatusReader::CBindStatusReader(IBindStatusOwner& owner, BindStatusReaderOptions options)
    : owner_(&owner), options_(options) {}

CBindStatusReader::~CBindStatusReader() = default;

bool CBindStatusReader::Claim() {
  if (claimed_ || owner_ == nullptr) return false;
  claimed_ = true;
  return true;
}

HRESULT CBindStatusReader::Start(const wchar_t* url, IBindHost* host) {
  if (url == nullptr || *url == L'\0') return E_INVALIDARG;
  if (!Claim()) return E_UNEXPECTED;
  ComPtr<CBindStatusReader> keep(this);  // the service may drop its references before returning

  ComPtr<IBindCtx> context;
  ComPtr<IMoniker> moniker;
  ComPtr<IStream> stream;
  HRESULT result = ::CreateBindCtx(0, context.GetAddressOf());
  if (host != nullptr) {
    if (SUCCEEDED(result)) {
      result =
          host->CreateMoniker(const_cast<LPOLESTR>(url), context.Get(), moniker.GetAddressOf(), 0);
    }
    if (SUCCEEDED(result)) {
      // The host registers the callback on the context itself.
      result = host->MonikerBindToStorage(moniker.Get(), context.Get(), this, IID_IStream,
                                          reinterpret_cast<void**>(stream.GetAddressOf()));
    }
  } else {
    if (SUCCEEDED(result)) result = ::CreateURLMoniker(nullptr, url, moniker.GetAddressOf());
    if (SUCCEEDED(result)) result = ::RegisterBindStatusCallback(context.Get(), this, nullptr, 0);
    if (SUCCEEDED(result)) {
      result = moniker->BindToStorage(context.Get(), nullptr, IID_IStream,
                                      reinterpret_cast<void**>(stream.GetAddressOf()));
    }
  }

  if (stopped_) return S_OK;  // ended during the call; the owner has heard
  if (FAILED(result)) {
    // Nothing runs: whatever the service still sends goes nowhere.
    stopped_ = true;
    owner_ = nullptr;
    binding_.Reset();
    stream_.Reset();
    return result;
  }
  if (result == S_OK) {
    // Bound at once: the stream holds the whole resource, and there is nothing left to abort.
    binding_.Reset();
    if (!stream_) stream_ = stream;
    ReadAvailable();
    Finish(S_OK, std::wstring());
  }
  return S_OK;
}

HRESULT CBindStatusReader::PrepareBindContext(DWORD extra_bind_opts, IBindCtx** context) {
  if (context == nullptr) return E_POINTER;
  *context = nullptr;
  if (!Claim()) return E_UNEXPECTED;
  ComPtr<IBindCtx> created;
  HRESULT result = ::CreateBindCtx(0, created.GetAddressOf());
  if (FAILED(result)) return result;
  if (extra_bind_opts != 0) {
    BIND_OPTS options{};
    options.cbStruct = sizeof(options);
    result = created->GetBindOptions(&options);
    if (SUCCEEDED(result)) {
      options.grfFlags |= extra_bind_opts;
      result = created->SetBindOptions(&options);
    }
    if (FAILED(result)) return result;
  }
  result = ::RegisterBindStatusCallback(created.Get(), this, nullptr, 0);
  if (FAILED(result)) return result;
  *context = created.Detach();
  return S_OK;
}

void CBindStatusReader::Abort() {
  if (stopped_ || !binding_) return;
  ComPtr<CBindStatusReader> keep(this);
  // The service may stop inside Abort, which lets go of binding_.
  const ComPtr<IBinding> binding = binding_;
  (void)binding->Abort();  // the stop reports how it ended
}

void CBindStatusReader::Detach() { owner_ = nullptr; }

HRESULT CBindStatusReader::QueryBinding(REFIID riid, void** object) const {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!binding_) return E_UNEXPECTED;
  return binding_->QueryInterface(riid, object);
}

void CBindStatusReader::Fail(HRESULT outcome) {
  if (SUCCEEDED(outcome_)) outcome_ = outcome;
  Abort();
}

void CBindStatusReader::Finish(HRESULT result, const std::wstring& text) {
  if (stopped_) return;
  stopped_ = true;
  binding_.Reset();
  stream_.Reset();
  if (FAILED(outcome_)) result = outcome_;
  IBindStatusOwner* owner = std::exchange(owner_, nullptr);
  if (owner != nullptr) owner->OnBindStop(result, text);
}

void CBindStatusReader::ReadAvailable() {
  if (!stream_) return;
  if (!buffer_) buffer_ = std::make_unique<BYTE[]>(kReadChunkSize);
  // The owner may abort, detach or see the stop from inside OnBindData: check before each read.
  while (!stopped_ && owner_ != nullptr && SUCCEEDED(outcome_)) {
    ULONG read = 0;
    const HRESULT result = stream_->Read(buffer_.get(), kReadChunkSize, &read);
    if (FAILED(result) && result != E_PENDING) return Fail(result);
    if (read > kReadChunkSize) return Fail(E_UNEXPECTED);  // a stream that claims too much
    ULONG deliver = read;
    bool over = false;
    if (options_.maxBytes != 0 && read > options_.maxBytes - bytesRead_) {
      deliver = static_cast<ULONG>(options_.maxBytes - bytesRead_);
      over = true;
    }
    if (deliver != 0) {
      bytesRead_ += deliver;
      const HRESULT taken = owner_->OnBindData(buffer_.get(), deliver);
      if (FAILED(taken)) return Fail(taken);
    }
    if (over) return Fail(kErrorTooLarge);
    if (result != S_OK || read == 0) return;  // S_FALSE: the end; E_PENDING: more comes later
  }
}

STDMETHODIMP CBindStatusReader::OnStartBinding(DWORD, IBinding* binding) {
  if (!stopped_) binding_ = binding;
  return S_OK;
}

STDMETHODIMP CBindStatusReader::GetPriority(LONG*) { return E_NOTIMPL; }

STDMETHODIMP CBindStatusReader::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CBindStatusReader::OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                                           LPCWSTR status_text) {
  if (owner_ == nullptr) return S_OK;
  ComPtr<CBindStatusReader> keep(this);
  return owner_->OnBindProgress(progress, progress_max, status_code, status_text);
}

STDMETHODIMP CBindStatusReader::OnStopBinding(HRESULT result, LPCWSTR error) {
  if (stopped_) return S_OK;
  ComPtr<CBindStatusReader> keep(this);  // the owner may let go of the reader when it hears
  binding_.Reset();                      // ended: nothing left to abort
  // A successful end means the stream holds everything still unread.
  if (SUCCEEDED(result)) ReadAvailable();
  Finish(result, error != nullptr ? std::wstring(error) : std::wstring());
  return S_OK;
}

STDMETHODIMP CBindStatusReader::GetBindInfo(DWORD* bind_flags, BINDINFO* bind_info) {
  if (bind_flags == nullptr || bind_info == nullptr) return E_INVALIDARG;
  // The caller's size says which version of the structure it has.
  const ULONG size = bind_info->cbSize;
  if (size < offsetof(BINDINFO, dwBindVerb) + sizeof(bind_info->dwBindVerb)) return E_INVALIDARG;
  *bind_flags = kBindFlags | options_.extraBindFlags;
  std::memset(bind_info, 0, size);
  bind_info->cbSize = size;
  bind_info->dwBindVerb = BINDVERB_GET;
  return S_OK;
}

STDMETHODIMP CBindStatusReader::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) {
  if (stopped_) return S_OK;
  ComPtr<CBindStatusReader> keep(this);
  if (!stream_ && medium != nullptr && medium->tymed == TYMED_ISTREAM) stream_ = medium->pstm;
  ReadAvailable();
  return S_OK;
}

STDMETHODIMP CBindStatusReader::OnObjectAvailable(REFIID riid, IUnknown* object) {
  if (object == nullptr) return E_INVALIDARG;
  if (owner_ == nullptr) return S_OK;
  ComPtr<CBindStatusReader> keep(this);
  return owner_->OnBindObject(riid, object);
}

STDMETHODIMP CBindStatusReader::GetWindow(REFGUID, HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = owner_ != nullptr ? owner_->BindWindow() : nullptr;
  return S_OK;
}
