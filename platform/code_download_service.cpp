#include "platform/code_download_service.h"

#include <wrl/client.h>

#include "common/module_info.h"
#include "platform/code_download_binding.h"

namespace {

std::wstring ClsidText(REFCLSID clsid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(clsid, text, 40);
  return text;
}

// True when the class's registered server is at least the requested version.
bool InstalledAtVersion(const std::wstring& clsid, DWORD versionMS, DWORD versionLS) {
  const auto server = CComponentStore::RegisteredServer(clsid);
  if (!server) return false;
  const auto version = FileVersionOf(*server);
  if (!version) return versionMS == 0 && versionLS == 0;
  const unsigned long long have =
      (static_cast<unsigned long long>((*version)[0] << 16 | (*version)[1]) << 32) |
      ((*version)[2] << 16 | (*version)[3]);
  const unsigned long long want = (static_cast<unsigned long long>(versionMS) << 32) | versionLS;
  return have >= want;
}

}  // namespace

HRESULT CCodeDownloadService::GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase,
                                                    DWORD versionMS, DWORD versionLS, LPCWSTR,
                                                    IBindCtx* context, DWORD classContext,
                                                    REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const std::wstring clsidText = ClsidText(clsid);
  // All ones asks for the code base's code whatever is installed.
  const bool always = versionMS == 0xFFFFFFFF && versionLS == 0xFFFFFFFF;
  if (!always && InstalledAtVersion(clsidText, versionMS, versionLS) &&
      SUCCEEDED(::CoGetClassObject(clsid, classContext, nullptr, riid, object))) {
    return S_OK;
  }
  if (codeBase == nullptr || *codeBase == L'\0') return E_INVALIDARG;
  Microsoft::WRL::ComPtr<IBindStatusCallback> callback;
  if (FAILED(GetRegisteredBindStatusCallback(context, &callback))) return E_INVALIDARG;
  CCodeDownloadBinding::Request request{clsid, clsidText, codeBase, classContext, riid};
  return CCodeDownloadBinding::Start(std::move(request), callback.Get(), store_);
}
