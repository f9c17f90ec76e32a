#include "common/control/property_table.h"

#include "common/com_server/property_stream.h"
#include "common/com_server/variant.h"

PropertyTable::PropertyTable(std::span<const PersistedProperty> rows, IDispatch* control,
                             SIZEL& extent)
    : rows_(rows), control_(control), extent_(extent) {}

LONG& PropertyTable::ExtentField(const PersistedProperty& row) const {
  return row.kind == PersistedProperty::Kind::ExtentWidth ? extent_.cx : extent_.cy;
}

HRESULT PropertyTable::GetProperty(IDispatch* control, DISPID id, VARIANT& value) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value,
                         nullptr, nullptr);
}

HRESULT PropertyTable::PutProperty(IDispatch* control, DISPID id, const VARIANT& value) {
  VARIANTARG argument = value;  // a shallow copy: the callee only reads it
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&argument, &named, 1, 1};
  return control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                         nullptr, nullptr);
}

HRESULT PropertyTable::SaveToStream(IStream* stream, DWORD version) const {
  HRESULT result = WriteStreamWord(stream, version);
  for (const auto& row : rows_) {
    if (FAILED(result)) return result;
    if (row.kind != PersistedProperty::Kind::Dispatch) {
      result = WriteStreamWord(stream, static_cast<DWORD>(ExtentField(row)));
      continue;
    }
    ScopedVariant value;
    if (FAILED(GetProperty(control_, row.dispid, *value.Receive()))) return E_FAIL;
    result = WriteVariantRecord(stream, value.Get());
  }
  return result;
}

HRESULT PropertyTable::LoadFromStream(IStream* stream, DWORD version) const {
  DWORD saved_version = 0;
  HRESULT result = ReadStreamWord(stream, saved_version);
  if (FAILED(result)) return result;
  if (saved_version > version) return E_FAIL;
  for (const auto& row : rows_) {
    if (row.kind != PersistedProperty::Kind::Dispatch) {
      DWORD word = 0;
      result = ReadStreamWord(stream, word);
      if (FAILED(result)) return result;
      ExtentField(row) = static_cast<LONG>(word);
      continue;
    }
    ScopedVariant value;
    result = ReadVariantRecord(stream, *value.Pointer());
    if (FAILED(result)) return result;
    if (FAILED(PutProperty(control_, row.dispid, value.Get()))) return E_FAIL;
  }
  return S_OK;
}

HRESULT PropertyTable::LoadFromBag(IPropertyBag* bag, IErrorLog* log) const {
  for (const auto& row : rows_) {
    ScopedVariant value;
    if (row.kind != PersistedProperty::Kind::Dispatch) {
      value.Pointer()->vt = VT_UI4;
      if (SUCCEEDED(bag->Read(row.name, value.Pointer(), log)) && value.Get().vt == VT_UI4) {
        ExtentField(row) = static_cast<LONG>(value.Get().ulVal);
      }
      continue;
    }
    ScopedVariant current;
    if (FAILED(GetProperty(control_, row.dispid, *current.Receive()))) return E_FAIL;
    // Asking in the property's own type lets the bag convert PARAM text. The value is zeroed
    // first, so that whatever a failing bag leaves in it is safe to clear.
    *value.Pointer() = VARIANT{};
    value.Pointer()->vt = current.Get().vt;
    if (FAILED(bag->Read(row.name, value.Pointer(), log))) continue;
    if (FAILED(PutProperty(control_, row.dispid, value.Get()))) return E_FAIL;
  }
  return S_OK;
}

HRESULT PropertyTable::SaveToBag(IPropertyBag* bag) const {
  for (const auto& row : rows_) {
    ScopedVariant value;
    if (row.kind != PersistedProperty::Kind::Dispatch) {
      value.Pointer()->vt = VT_UI4;
      value.Pointer()->ulVal = static_cast<ULONG>(ExtentField(row));
    } else if (FAILED(GetProperty(control_, row.dispid, *value.Receive()))) {
      return E_FAIL;
    }
    const HRESULT result = bag->Write(row.name, value.Pointer());
    if (FAILED(result)) return result;
  }
  return S_OK;
}
