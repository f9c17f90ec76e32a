#pragma once

#include <windows.h>

#include <ocidl.h>

#include <string>
#include <utility>
#include <vector>

#include "common/com_object.h"

// The PARAM name=value pairs of an OBJECT tag, as a browser hands them to a control: every value
// is text, converted on Read to the type the control asks for. Names compare case-insensitively.
class CPropertyBag final : public CComObject<IPropertyBag> {
 public:
  CPropertyBag() = default;

  // Adds name=value, or replaces the value of a name already held.
  void Set(const std::wstring& name, const std::wstring& value);
  // The text held for name; false (value untouched) when there is none.
  bool Find(const std::wstring& name, std::wstring& value) const;
  size_t Count() const { return values_.size(); }

  // var->vt on entry is the type wanted (VT_EMPTY: text, VT_BSTR). A missing name gives
  // E_INVALIDARG, text that does not convert gives VariantChangeType's error; *var is untouched
  // on failure.
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* var, IErrorLog* log) override;
  // Stores the value as text (booleans as "True"/"False"). A value without a text form gives
  // VariantChangeType's error and stores nothing.
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* var) override;

 private:
  ~CPropertyBag() override = default;

  std::vector<std::pair<std::wstring, std::wstring>>::iterator Lookup(const wchar_t* name);

  std::vector<std::pair<std::wstring, std::wstring>> values_;  // in the order first set
};
