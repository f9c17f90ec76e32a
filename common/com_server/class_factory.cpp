#include "common/com_server/class_factory.h"

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  const HRESULT result = create_(nullptr, riid, object);
  if (FAILED(result)) *object = nullptr;  // a create function may leave junk behind
  return result;
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ComModule::Lock();
    return S_OK;
  }
  return ComModule::Unlock() ? S_OK : E_UNEXPECTED;
}

HRESULT GetClassObject(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID riid,
                       void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  for (const ClassEntry& entry : classes) {
    if (!::IsEqualCLSID(entry.clsid, clsid)) continue;
    if (entry.create == nullptr) return E_UNEXPECTED;
    ClassFactory* factory = new (std::nothrow) ClassFactory(entry.create);
    if (factory == nullptr) return E_OUTOFMEMORY;
    const HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}
