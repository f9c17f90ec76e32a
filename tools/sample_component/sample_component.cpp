// A small self-registering in-process COM server. One source, several modules: each build names
// its class id, its friendly name and how it misbehaves (see SAMPLE_BEHAVIOUR).
#include <windows.h>
#include <objbase.h>

#include <cstddef>

#include "common/com_object.h"

#define SAMPLE_NORMAL 0
#define SAMPLE_FAIL_REGISTER 1  // DllRegisterServer fails before writing anything
#define SAMPLE_NO_CLASS 2       // registers fine, but the factory is never available

#ifndef SAMPLE_CLSID
#error "SAMPLE_CLSID must name the class id, e.g. L\"{...}\""
#endif
#ifndef SAMPLE_NAME
#error "SAMPLE_NAME must name the class for people"
#endif
#ifndef SAMPLE_BEHAVIOUR
#define SAMPLE_BEHAVIOUR SAMPLE_NORMAL
#endif

namespace {

HMODULE g_module = nullptr;
LONG g_locks = 0;  // live objects and LockServer calls; the module may unload at zero

CLSID SampleClsid() {
  CLSID clsid = GUID_NULL;
  ::IIDFromString(SAMPLE_CLSID, &clsid);
  return clsid;
}

// Objects come from the process heap: the C++ allocator would pull exception support into a
// module that is meant to stay small.
struct HeapAllocated {
  static void* operator new(std::size_t size) noexcept {
    return ::HeapAlloc(::GetProcessHeap(), 0, size);
  }
  static void operator delete(void* block) noexcept { ::HeapFree(::GetProcessHeap(), 0, block); }
};

// The object the factory makes: IPersist lets a caller ask which class it got.
class CSampleObject : public CComObject<IPersist>, public HeapAllocated {
 public:
  CSampleObject() { ::InterlockedIncrement(&g_locks); }

  STDMETHODIMP GetClassID(CLSID* clsid) override {
    if (clsid == nullptr) return E_POINTER;
    *clsid = SampleClsid();
    return S_OK;
  }

 protected:
  ~CSampleObject() override { ::InterlockedDecrement(&g_locks); }
};

class CSampleFactory : public CComObject<IClassFactory>, public HeapAllocated {
 public:
  CSampleFactory() { ::InterlockedIncrement(&g_locks); }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* created = new CSampleObject;
    if (created == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = created->QueryInterface(riid, object);
    created->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      ::InterlockedIncrement(&g_locks);
    } else {
      ::InterlockedDecrement(&g_locks);
    }
    return S_OK;
  }

 protected:
  ~CSampleFactory() override { ::InterlockedDecrement(&g_locks); }
};

const wchar_t* ClsidKeyPath() { return L"CLSID\\" SAMPLE_CLSID; }

HRESULT SetString(HKEY key, const wchar_t* name, const wchar_t* value) {
  const DWORD bytes = static_cast<DWORD>((::lstrlenW(value) + 1) * sizeof(wchar_t));
  const LONG rc =
      ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT CreateKey(HKEY parent, const wchar_t* path, HKEY* key) {
  return HRESULT_FROM_WIN32(::RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_WRITE, nullptr, key, nullptr));
}

HRESULT WriteRegistration() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(g_module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;

  HKEY clsid_key = nullptr;
  HRESULT hr = CreateKey(HKEY_CLASSES_ROOT, ClsidKeyPath(), &clsid_key);
  if (FAILED(hr)) return hr;
  hr = SetString(clsid_key, nullptr, SAMPLE_NAME);
  HKEY server_key = nullptr;
  if (SUCCEEDED(hr)) hr = CreateKey(clsid_key, L"InprocServer32", &server_key);
  if (SUCCEEDED(hr)) hr = SetString(server_key, nullptr, path);
  if (SUCCEEDED(hr)) hr = SetString(server_key, L"ThreadingModel", L"Apartment");
  if (server_key != nullptr) ::RegCloseKey(server_key);
  ::RegCloseKey(clsid_key);
  return hr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (SAMPLE_BEHAVIOUR == SAMPLE_NO_CLASS || rclsid != SampleClsid()) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  auto* factory = new CSampleFactory;
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(riid, object);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() { return g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
  if (SAMPLE_BEHAVIOUR == SAMPLE_FAIL_REGISTER) return E_FAIL;
  const HRESULT hr = WriteRegistration();
  // Half a registration would point COM at a class it cannot make.
  if (FAILED(hr)) ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKeyPath());
  return hr;
}

STDAPI DllUnregisterServer() {
  const LONG rc = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKeyPath());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(rc);
}
