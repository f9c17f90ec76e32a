#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IProvideClassInfo2 from the module's type library: the coclass and its default source.
class ProvideClassInfoImpl : public IProvideClassInfo2, public virtual ControlCore {
 public:
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

 protected:
  ProvideClassInfoImpl() = default;
  ~ProvideClassInfoImpl() = default;
};

template <>
struct InterfaceIdentity<ProvideClassInfoImpl> : AnswersFor<IProvideClassInfo2, IProvideClassInfo> {
};
