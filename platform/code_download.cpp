#include "code_download.h"

#include <wrl/client.h>

namespace {

// The system's own service.
class SystemCodeDownload final : public ICodeDownloadService {
 public:
  HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase, DWORD versionMS,
                                DWORD versionLS, LPCWSTR contentType, IBindCtx* context,
                                DWORD classContext, REFIID riid, void** object) override {
    return ::CoGetClassObjectFromURL(clsid, codeBase, versionMS, versionLS, contentType, context,
                                     classContext, nullptr, riid, object);
  }
};

}  // namespace

ICodeDownloadService& DefaultCodeDownloadService() {
  static SystemCodeDownload service;
  return service;
}

HRESULT GetRegisteredBindStatusCallback(IBindCtx* context, IBindStatusCallback** callback) {
  if (callback == nullptr) return E_POINTER;
  *callback = nullptr;
  if (context == nullptr) return E_INVALIDARG;
  // RegisterBindStatusCallback keeps the callback as this object parameter of the context.
  Microsoft::WRL::ComPtr<IUnknown> holder;
  wchar_t key[] = L"_BSCB_Holder_";
  HRESULT hr = context->GetObjectParam(key, &holder);
  if (FAILED(hr)) return hr;
  return holder->QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void**>(callback));
}
