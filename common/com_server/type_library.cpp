#include "common/com_server/type_library.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cwchar>
#include <string>

#include "common/com_server/registry_rows.h"
#include "common/module_info.h"
#include "common/reg_key.h"

using Microsoft::WRL::ComPtr;

namespace {

HRESULT LoadModuleTypeLibrary(HMODULE module, std::wstring& path, ComPtr<ITypeLib>& library) {
  if (module == nullptr) return E_UNEXPECTED;
  path = ModuleFilePath(module);
  if (path.empty()) return E_UNEXPECTED;
  // REGKIND_NONE: loading must not register behind our back.
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.ReleaseAndGetAddressOf());
}

class LibraryAttributes {
 public:
  explicit LibraryAttributes(ITypeLib* library) : library_(library) {
    if (FAILED(library_->GetLibAttr(&attributes_))) attributes_ = nullptr;
  }
  ~LibraryAttributes() {
    if (attributes_) library_->ReleaseTLibAttr(attributes_);
  }
  LibraryAttributes(const LibraryAttributes&) = delete;
  LibraryAttributes& operator=(const LibraryAttributes&) = delete;

  const TLIBATTR* Get() const { return attributes_; }

 private:
  ITypeLib* library_;
  TLIBATTR* attributes_ = nullptr;
};

}  // namespace

HRESULT RegisterModuleTypeLibrary(HMODULE module) {
  std::wstring path;
  ComPtr<ITypeLib> library;
  HRESULT result = LoadModuleTypeLibrary(module, path, library);
  if (FAILED(result)) return result;
  return ::RegisterTypeLib(library.Get(), path.data(), nullptr);
}

HRESULT UnregisterModuleTypeLibrary(HMODULE module) {
  std::wstring path;
  ComPtr<ITypeLib> library;
  HRESULT result = LoadModuleTypeLibrary(module, path, library);
  if (FAILED(result)) return result;
  const LibraryAttributes attributes(library.Get());
  const TLIBATTR* attr = attributes.Get();
  if (attr == nullptr) return E_UNEXPECTED;
  // UnRegisterTypeLib fails on a library that is not registered; gone already is success here.
  wchar_t version[32];
  std::swprintf(version, std::size(version), L"%x.%x", attr->wMajorVerNum, attr->wMinorVerNum);
  RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, L"TypeLib\\" + GuidText(attr->guid) + L"\\" + version) ==
      ERROR_FILE_NOT_FOUND) {
    return S_OK;
  }
  key.Close();
  return ::UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                             attr->syskind);
}
