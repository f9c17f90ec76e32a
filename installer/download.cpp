#include "download.h"

#include <cwchar>

#include "install_engine.h"
#include "install_messages.h"

CDownload::CDownload(CInstallEngine& owner) : owner_(owner) { owner_.ForgetBinding(); }

STDMETHODIMP CDownload::OnStartBinding(DWORD, IBinding* binding) {
  owner_.HoldBinding(binding);
  return S_OK;
}

STDMETHODIMP CDownload::GetPriority(LONG*) { return E_NOTIMPL; }

STDMETHODIMP CDownload::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP CDownload::OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR statusText) {
  // The text lives only during this call, so it does not travel with the posted message.
  ::PostMessageW(owner_.Handle(), WM_INSTALL_PROGRESS, statusCode, 0);

  bool& sawFindingResource = owner_.SawFindingResource();
  if (statusCode == BINDSTATUS_FINDINGRESOURCE) {
    // The service looks for the resource once; a second look in a row means it was not found.
    if (sawFindingResource) {
      sawFindingResource = false;
      installResult_ = kOutcomeResourceNotFound;
      (void)owner_.Abort();
    }
    sawFindingResource = true;
    return S_OK;
  }
  sawFindingResource = false;
  if (statusCode == BINDSTATUS_MIMETYPEAVAILABLE) {
    if (statusText != nullptr && std::wcscmp(statusText, L"text/html") == 0) {
      // A code base that answers with a web page (typically an error page) holds no CAB.
      installResult_ = kOutcomeHtmlCodeBase;
      (void)owner_.Abort();
      return E_INVALIDARG;
    }
  }
  return S_OK;
}

STDMETHODIMP CDownload::OnStopBinding(HRESULT, LPCWSTR) {
  ::PostMessageW(owner_.Handle(), WM_INSTALL_DONE, 0, 0);
  return S_OK;
}

STDMETHODIMP CDownload::GetBindInfo(DWORD*, BINDINFO*) { return S_OK; }

STDMETHODIMP CDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }

STDMETHODIMP CDownload::OnObjectAvailable(REFIID riid, IUnknown* object) {
  if (riid != IID_IClassFactory || object == nullptr) return E_INVALIDARG;
  ::PostMessageW(owner_.Handle(), WM_INSTALL_OBJECT, reinterpret_cast<WPARAM>(object), 0);
  return S_OK;
}

STDMETHODIMP CDownload::GetWindow(REFGUID, HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = owner_.Handle();
  return S_OK;
}
