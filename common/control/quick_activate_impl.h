#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IQuickActivate: siting, view advise and the container's event sink in one call.
class QuickActivateImpl : public IQuickActivate, public virtual ControlCore {
 public:
  STDMETHODIMP QuickActivate(QACONTAINER* container, QACONTROL* control) override;
  STDMETHODIMP SetContentExtent(LPSIZEL size) override;
  STDMETHODIMP GetContentExtent(LPSIZEL size) override;

 protected:
  QuickActivateImpl() = default;
  ~QuickActivateImpl() = default;
};

template <>
struct InterfaceIdentity<QuickActivateImpl> : AnswersFor<IQuickActivate> {};
