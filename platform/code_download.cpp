#include "platform/code_download.h"

#include <wrl/client.h>

#include "platform/code_download_service.h"

// Ours rather than the system's: the same on every Windows version and under Wine.
ICodeDownloadService& DefaultCodeDownloadService() {
  static CCodeDownloadService service;
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
