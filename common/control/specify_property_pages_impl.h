#pragma once

#include <windows.h>
#include <ocidl.h>

#include "common/com_object.h"
#include "control_core.h"

// ISpecifyPropertyPages: the distinct pages named by the property table, in table order.
class SpecifyPropertyPagesImpl : public ISpecifyPropertyPages, public virtual ControlCore {
 public:
  STDMETHODIMP GetPages(CAUUID* pages) override;

 protected:
  SpecifyPropertyPagesImpl() = default;
  ~SpecifyPropertyPagesImpl() = default;
};

template <>
struct InterfaceIdentity<SpecifyPropertyPagesImpl> : AnswersFor<ISpecifyPropertyPages> {};
