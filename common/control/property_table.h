#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objidl.h>
#include <ocidl.h>

#include <span>

#include "common/control/control_core.h"

// Saves and loads a control's properties, row by row in table order, through a stream (the
// version word, then per row a raw extent word or a variant record) or a property bag (one named
// value per row). Dispatch rows are read with a property get on the control's IDispatch and
// written back with a put, so loading has every effect a put has.
class PropertyTable {
 public:
  PropertyTable(std::span<const PersistedProperty> rows, IDispatch* control, SIZEL& extent);

  // A failing get ends the save with E_FAIL; a stream error is returned as given.
  HRESULT SaveToStream(IStream* stream, DWORD version) const;
  // A version above `version` is refused with E_FAIL before anything changes. The first read
  // error (the stream's end counts as E_FAIL) or failing put ends the load; rows already read
  // keep their new values.
  HRESULT LoadFromStream(IStream* stream, DWORD version) const;
  // A name the bag lacks, or holds in a form that does not convert to the property's type, is
  // skipped; a failing get or put ends the load with E_FAIL.
  HRESULT LoadFromBag(IPropertyBag* bag, IErrorLog* log) const;
  // The first write error ends the save.
  HRESULT SaveToBag(IPropertyBag* bag) const;

  // DISPATCH_PROPERTYGET / DISPATCH_PROPERTYPUT of one property.
  static HRESULT GetProperty(IDispatch* control, DISPID id, VARIANT& value);
  static HRESULT PutProperty(IDispatch* control, DISPID id, const VARIANT& value);

 private:
  LONG& ExtentField(const PersistedProperty& row) const;

  std::span<const PersistedProperty> rows_;
  IDispatch* control_;
  SIZEL& extent_;
};
