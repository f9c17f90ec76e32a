#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IPersistStreamInit over the control's property table.
class PersistStreamInitImpl : public IPersistStreamInit, public virtual ControlCore {
 public:
  STDMETHODIMP GetClassID(CLSID* clsid) override { return CopyClassId(clsid); }
  STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  STDMETHODIMP Load(LPSTREAM stream) override { return LoadProperties(stream); }
  STDMETHODIMP Save(LPSTREAM stream, BOOL clear_dirty) override {
    return SaveProperties(stream, clear_dirty != FALSE);
  }
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override { return S_OK; }

 protected:
  PersistStreamInitImpl() = default;
  ~PersistStreamInitImpl() = default;
};

template <>
struct InterfaceIdentity<PersistStreamInitImpl> : AnswersFor<IPersistStreamInit, IPersist> {};
