#pragma once

#include <windows.h>

#include <ocidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// ISpecifyPropertyPages: the distinct pages named by the property table, in table order.
class PropertyPagesImpl : public ISpecifyPropertyPages, public virtual ControlCore {
 public:
  STDMETHODIMP GetPages(CAUUID* pages) override;

 protected:
  PropertyPagesImpl() = default;
  ~PropertyPagesImpl() = default;
};

template <>
struct InterfaceIdentity<PropertyPagesImpl> : AnswersFor<ISpecifyPropertyPages> {};
