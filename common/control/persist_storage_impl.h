#pragma once

#include <windows.h>

#include <objidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IPersistStorage: the property table's stream, as the stream "Contents" of the storage.
class PersistStorageImpl : public IPersistStorage, public virtual ControlCore {
 public:
  STDMETHODIMP GetClassID(CLSID* clsid) override { return CopyClassId(clsid); }
  STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL same_as_load) override;
  STDMETHODIMP SaveCompleted(IStorage*) override { return S_OK; }
  STDMETHODIMP HandsOffStorage() override { return S_OK; }

 protected:
  PersistStorageImpl() = default;
  ~PersistStorageImpl() = default;
};

template <>
struct InterfaceIdentity<PersistStorageImpl> : AnswersFor<IPersistStorage> {};
