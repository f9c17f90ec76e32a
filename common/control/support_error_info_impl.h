#pragma once

#include <windows.h>

#include <oaidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// ISupportErrorInfo: error information may come from the control's dual interface only.
class SupportErrorInfoImpl : public ISupportErrorInfo, public virtual ControlCore {
 public:
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == *Class().dispatch ? S_OK : S_FALSE;
  }

 protected:
  SupportErrorInfoImpl() = default;
  ~SupportErrorInfoImpl() = default;
};

template <>
struct InterfaceIdentity<SupportErrorInfoImpl> : AnswersFor<ISupportErrorInfo> {};
