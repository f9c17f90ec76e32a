#include "platform/code_download_binding.h"

#include "platform/cab_extractor.h"

namespace {

constexpr UINT kBegin = WM_APP + 1;
constexpr UINT kUnpacked = WM_APP + 2;  // wParam: the worker's HRESULT
constexpr UINT kInstall = WM_APP + 3;
constexpr UINT kAbort = WM_APP + 4;
const wchar_t kWindowClass[] = L"KoviraCodeDownloadBinding";

}  // namespace

CCodeDownloadBinding::CCodeDownloadBinding(Request request, IBindStatusCallback* callback,
                                           CComponentStore store)
    : request_(std::move(request)),
      callback_(callback),
      package_(std::make_unique<CComponentPackage>(request_.clsidText, request_.codeBase,
                                                   std::move(store))) {}

CCodeDownloadBinding::~CCodeDownloadBinding() {
  if (worker_.joinable()) worker_.join();
}

HRESULT CCodeDownloadBinding::Start(Request request, IBindStatusCallback* callback,
                                    CComponentStore store) {
  auto binding =
      MakeComObject<CCodeDownloadBinding>(std::move(request), callback, std::move(store));
  const HRESULT created = binding->Create({kWindowClass}, HWND_MESSAGE, {}, L"", 0);
  if (FAILED(created)) return created;
  // The window's reference keeps the binding alive until it stops.
  binding->AddRef();
  ::PostMessageW(binding->Handle(), kBegin, 0, 0);
  return MK_S_ASYNCHRONOUS;
}

STDMETHODIMP CCodeDownloadBinding::Abort() {
  if (stopped_) return INET_E_RESULT_DISPATCHED;
  if (!aborted_.exchange(true)) ::PostMessageW(Handle(), kAbort, 0, 0);
  return S_OK;
}

STDMETHODIMP CCodeDownloadBinding::GetPriority(LONG* priority) {
  if (priority == nullptr) return E_POINTER;
  *priority = THREAD_PRIORITY_NORMAL;
  return S_OK;
}

STDMETHODIMP CCodeDownloadBinding::GetBindResult(CLSID* protocol, DWORD* result, LPOLESTR* text,
                                                 DWORD*) {
  if (protocol == nullptr || result == nullptr || text == nullptr) return E_POINTER;
  *protocol = CLSID_NULL;
  *result = static_cast<DWORD>(result_);
  *text = nullptr;
  return S_OK;
}

bool CCodeDownloadBinding::Progress(ULONG status, const std::wstring& text) {
  (void)callback_->OnProgress(0, 0, status,
                              text.c_str());  // a refusal alone does not end the binding
  if (aborted_) Stop(E_ABORT);
  return !stopped_;
}

void CCodeDownloadBinding::Begin() {
  if (aborted_) return Stop(E_ABORT);
  DWORD flags = 0;
  BINDINFO info = {};
  info.cbSize = sizeof(info);
  (void)callback_->GetBindInfo(&flags, &info);  // a local code base needs nothing from it
  ::ReleaseBindInfo(&info);
  (void)callback_->OnStartBinding(0, this);
  if (!Progress(BINDSTATUS_FINDINGRESOURCE, request_.codeBase) ||
      !Progress(BINDSTATUS_CONNECTING, request_.codeBase) ||
      !Progress(BINDSTATUS_BEGINDOWNLOADDATA, request_.codeBase)) {
    return;
  }
  // The slow part runs beside the caller's thread; its result comes back as a message.
  HWND window = Handle();
  CComponentPackage* package = package_.get();
  std::atomic<bool>* cancel = &aborted_;
  worker_ = std::thread([window, package, cancel] {
    const HRESULT hr = package->Prepare(*cancel);
    ::PostMessageW(window, kUnpacked, static_cast<WPARAM>(hr), 0);
  });
}

void CCodeDownloadBinding::Unpacked(HRESULT hr) {
  if (worker_.joinable()) worker_.join();
  if (aborted_) return Stop(E_ABORT);
  if (SUCCEEDED(hr) && package_->IsHtml()) {
    // Said the way the platform says it, so that callers who watch for it can react.
    if (!Progress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html")) return;
    return Stop(kErrorNotCabinet);
  }
  if (FAILED(hr)) return Stop(hr);
  const std::wstring& name = package_->DisplayName();
  if (!Progress(BINDSTATUS_ENDDOWNLOADDATA, package_->LocalCab()) ||
      !Progress(BINDSTATUS_BEGINDOWNLOADCOMPONENTS, name) ||
      !Progress(BINDSTATUS_INSTALLINGCOMPONENTS, name)) {
    return;
  }
  ::PostMessageW(Handle(), kInstall, 0, 0);
}

void CCodeDownloadBinding::Install() {
  if (aborted_) return Stop(E_ABORT);
  HRESULT hr = package_->Install();
  if (FAILED(hr)) return Stop(hr);
  Microsoft::WRL::ComPtr<IUnknown> object;
  hr = ::CoGetClassObject(request_.clsid, request_.classContext, nullptr, request_.iid,
                          reinterpret_cast<void**>(object.GetAddressOf()));
  if (FAILED(hr)) return Stop(hr);
  if (!Progress(BINDSTATUS_ENDDOWNLOADCOMPONENTS, package_->DisplayName())) return;
  (void)callback_->OnObjectAvailable(request_.iid, object.Get());
  Stop(S_OK);
}

void CCodeDownloadBinding::Stop(HRESULT result) {
  if (stopped_) return;
  stopped_ = true;
  result_ = result;
  if (worker_.joinable()) worker_.join();  // an abort during unpacking: the worker sees it soon
  package_.reset();                        // staged files and the private folder go now
  Microsoft::WRL::ComPtr<IBindStatusCallback> callback = std::move(callback_);
  (void)callback->OnStopBinding(result, nullptr);
  Destroy();
  Release();  // the window's reference
}

bool CCodeDownloadBinding::ProcessMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg < kBegin || msg > kAbort) return false;
  Microsoft::WRL::ComPtr<CCodeDownloadBinding> keep(
      this);  // a callback may drop the last other reference
  switch (msg) {
    case kBegin:
      Begin();
      break;
    case kUnpacked:
      Unpacked(static_cast<HRESULT>(wParam));
      break;
    case kInstall:
      Install();
      break;
    case kAbort:
      // Ends now unless the worker is busy; then its result message ends it.
      if (!worker_.joinable()) Stop(E_ABORT);
      break;
  }
  result = 0;
  return true;
}
