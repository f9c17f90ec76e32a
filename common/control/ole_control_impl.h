#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IOleControl of a control without mnemonics. Events are raised even while a container has them
// frozen: containers that freeze do not expect to lose them.
class OleControlImpl : public IOleControl, public virtual ControlCore {
 public:
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL) override { return S_OK; }

 protected:
  OleControlImpl() = default;
  ~OleControlImpl() = default;
};

template <>
struct InterfaceIdentity<OleControlImpl> : AnswersFor<IOleControl> {};
