#pragma once

#include <windows.h>

#include <unknwn.h>

#include <new>
#include <span>

#include "common/com_server/com_module.h"

// Makes one object of a class; outer is the controlling unknown of an aggregate.
using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** object);

// One row of the server's class table.
struct ClassEntry {
  CLSID clsid;
  CreateFunction create;
};

// A CreateFunction for T, default-constructed; our classes are never aggregated.
template <typename T>
HRESULT CreateObject(IUnknown* outer, REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  T* instance = new (std::nothrow) T();
  if (instance == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = instance->QueryInterface(riid, object);
  instance->Release();  // the creator's reference; the caller keeps the one just handed out
  return result;
}

// The class object of every row: it lives as a module object, so the DLL stays while a client
// holds it.
class ClassFactory final : public ServerObject<IClassFactory> {
 public:
  explicit ClassFactory(CreateFunction create) : create_(create) {}

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~ClassFactory() override = default;

  CreateFunction create_;
};

// DllGetClassObject over a class table. The out-pointer is null on every failure.
HRESULT GetClassObject(std::span<const ClassEntry> classes, REFCLSID clsid, REFIID riid,
                       void** object);
