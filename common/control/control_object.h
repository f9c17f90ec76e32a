#pragma once

#include "common/com_server/com_module.h"
#include "common/control/control_core.h"

// The object of an ActiveX control: IUnknown over the listed implementations (which QueryInterface
// answers, in that order), counted as a live object of the DLL, with one shared ControlCore.
//   class CThing : public ControlObject<CThing, TypeInfoDispatch<IThing>, OleObjectImpl, ...> {
//    public:
//     static const ControlClass& Description();
//   };
template <typename Control, typename... Implementations>
class ControlObject : public ServerObject<Implementations...> {
 protected:
  ControlObject() { this->Configure(Control::Description()); }
  ~ControlObject() override = default;

  IUnknown* ControlUnknown() override { return this->Identity(); }
  void FinalRelease() override { this->EndWork(); }
};
