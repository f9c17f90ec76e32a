#pragma once

#include <windows.h>
#include <ocidl.h>

#include "common/com_object.h"
#include "control_core.h"

// IOleControl of a control without mnemonics. FreezeEvents is counted; events are still raised
// while frozen, as containers that freeze do not expect to lose them.
class OleControlImpl : public IOleControl, public virtual ControlCore {
 public:
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

 protected:
  OleControlImpl() = default;
  ~OleControlImpl() = default;
};

template <>
struct InterfaceIdentity<OleControlImpl> : AnswersFor<IOleControl> {};
