#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IPersistPropertyBag over the control's property table: how a page's PARAM values arrive.
class PersistPropertyBagImpl : public IPersistPropertyBag, public virtual ControlCore {
 public:
  STDMETHODIMP GetClassID(CLSID* clsid) override { return CopyClassId(clsid); }
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override { return LoadProperties(bag, log); }
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clear_dirty, BOOL) override {
    return SaveProperties(bag, clear_dirty != FALSE);
  }

 protected:
  PersistPropertyBagImpl() = default;
  ~PersistPropertyBagImpl() = default;
};

template <>
struct InterfaceIdentity<PersistPropertyBagImpl> : AnswersFor<IPersistPropertyBag> {};
