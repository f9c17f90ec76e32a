#include "tools/control_host/control_loader.h"

#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include <cwchar>
#include <utility>

#include "common/win_error.h"
#include "tools/control_host/error_text.h"

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

bool EndsWithNoCase(const std::wstring& text, const wchar_t* suffix) {
  const size_t length = std::wcslen(suffix);
  return text.size() >= length && ::CompareStringOrdinal(text.c_str() + text.size() - length, -1,
                                                         suffix, -1, TRUE) == CSTR_EQUAL;
}

bool LooksLikePath(const std::wstring& text) {
  return text.find_first_of(L"\\/:") != std::wstring::npos || EndsWithNoCase(text, L".dll") ||
         EndsWithNoCase(text, L".ocx");
}

std::wstring ClsidText(REFCLSID clsid) {
  wchar_t text[40] = {};
  (void)::StringFromGUID2(clsid, text, 40);  // 40 always holds a GUID
  return text;
}

HRESULT FirstCoclass(ITypeLib* library, CLSID* clsid) {
  const UINT count = library->GetTypeInfoCount();
  for (UINT i = 0; i < count; ++i) {
    TYPEKIND kind = TKIND_MAX;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    ComPtr<ITypeInfo> info;
    HRESULT result = library->GetTypeInfo(i, &info);
    if (FAILED(result)) return result;
    TYPEATTR* attributes = nullptr;
    result = info->GetTypeAttr(&attributes);
    if (FAILED(result)) return result;
    *clsid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

}  // namespace

HRESULT CControlLoader::Fail(HRESULT result, const std::wstring& what) {
  error_ = what + L": " + DescribeResult(result);
  return result;
}

HRESULT CControlLoader::Create(const std::wstring& text, CLSID* clsid, IUnknown** object) {
  if (clsid == nullptr || object == nullptr) return E_POINTER;
  error_.clear();
  if (text.empty()) return Fail(E_INVALIDARG, L"no control named");
  if (LooksLikePath(text)) return CreateFromDll(text, clsid, object);
  CLSID found = CLSID_NULL;
  if (text.front() == L'{') {
    const HRESULT result = ::CLSIDFromString(text.c_str(), &found);
    if (FAILED(result)) return Fail(result, text + L" is not a class id");
  } else {
    const HRESULT result = ::CLSIDFromProgID(text.c_str(), &found);
    if (FAILED(result)) return Fail(result, L"no class is registered as " + text);
  }
  const HRESULT result = CreateFromClsid(found, object);
  if (SUCCEEDED(result)) *clsid = found;
  return result;
}

HRESULT CControlLoader::CreateFromClsid(REFCLSID clsid, IUnknown** object) {
  if (object == nullptr) return E_POINTER;
  error_.clear();
  ComPtr<IUnknown> created;
  const HRESULT result =
      ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created));
  if (FAILED(result)) return Fail(result, L"cannot create class " + ClsidText(clsid));
  *object = created.Detach();
  return S_OK;
}

HRESULT CControlLoader::CreateFromDll(const std::wstring& path, CLSID* clsid, IUnknown** object) {
  if (clsid == nullptr || object == nullptr) return E_POINTER;
  error_.clear();
  if (module_) return Fail(E_UNEXPECTED, L"a DLL is already loaded for another object");
  // A full path, so that a bare file name means the current folder, not the system's search.
  wchar_t full[MAX_PATH];
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    return Fail(
        length == 0 ? HResultFromLastError() : HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
        L"cannot use the path " + path);
  }
  ScopedModule module(::LoadLibraryW(full));
  if (!module) return Fail(HResultFromLastError(), L"cannot load " + std::wstring(full));
  ComPtr<ITypeLib> library;
  HRESULT result = ::LoadTypeLibEx(full, REGKIND_NONE, &library);
  if (FAILED(result)) return Fail(result, L"no type library in " + std::wstring(full));
  CLSID found = CLSID_NULL;
  result = FirstCoclass(library.Get(), &found);
  if (FAILED(result)) {
    return Fail(result, L"the type library of " + std::wstring(full) + L" names no class");
  }
  const auto get_class_object = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllGetClassObject")));
  if (get_class_object == nullptr) {
    return Fail(HResultFromLastError(), std::wstring(full) + L" has no DllGetClassObject");
  }
  ComPtr<IClassFactory> factory;
  result = get_class_object(found, IID_PPV_ARGS(&factory));
  if (FAILED(result)) {
    return Fail(result, std::wstring(full) + L" gives no class object for " + ClsidText(found));
  }
  ComPtr<IUnknown> created;
  result = factory->CreateInstance(nullptr, IID_PPV_ARGS(&created));
  if (FAILED(result)) return Fail(result, L"cannot create class " + ClsidText(found));
  factory.Reset();

  module_ = std::move(module);
  library_ = std::move(library);
  *clsid = found;
  *object = created.Detach();
  return S_OK;
}

void CControlLoader::Unload() {
  library_.Reset();
  if (!module_) return;
  const auto can_unload = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(::GetProcAddress(module_.Get(), "DllCanUnloadNow")));
  if (can_unload != nullptr && can_unload() == S_OK) {
    module_.Reset();
  } else {
    (void)module_.Take();  // deliberately kept loaded: one of its objects is still alive elsewhere
  }
}

HRESULT CControlLoader::ClassInfoOf(IUnknown* object, REFCLSID clsid, ITypeLib* library,
                                    ITypeInfo** info) {
  if (object == nullptr || info == nullptr) return E_POINTER;
  ComPtr<IProvideClassInfo> provider;
  ComPtr<ITypeInfo> found;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&provider))) &&
      SUCCEEDED(provider->GetClassInfo(&found))) {
    *info = found.Detach();
    return S_OK;
  }
  if (clsid == CLSID_NULL) return TYPE_E_ELEMENTNOTFOUND;
  if (library != nullptr && SUCCEEDED(library->GetTypeInfoOfGuid(clsid, &found))) {
    *info = found.Detach();
    return S_OK;
  }
  ComPtr<IDispatch> dispatch;
  ComPtr<ITypeInfo> interface_info;
  ComPtr<ITypeLib> containing;
  UINT index = 0;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&dispatch))) &&
      SUCCEEDED(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &interface_info)) &&
      SUCCEEDED(interface_info->GetContainingTypeLib(&containing, &index)) &&
      SUCCEEDED(containing->GetTypeInfoOfGuid(clsid, &found))) {
    *info = found.Detach();
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}
