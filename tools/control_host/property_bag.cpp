#include "tools/control_host/property_bag.h"

#include "common/com_server/variant.h"

namespace {

bool SameName(const std::wstring& a, const wchar_t* b) {
  return ::CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::vector<std::pair<std::wstring, std::wstring>>::iterator CPropertyBag::Lookup(
    const wchar_t* name) {
  auto it = values_.begin();
  while (it != values_.end() && !SameName(it->first, name)) ++it;
  return it;
}

void CPropertyBag::Set(const std::wstring& name, const std::wstring& value) {
  const auto it = Lookup(name.c_str());
  if (it != values_.end()) {
    it->second = value;
  } else {
    values_.emplace_back(name, value);
  }
}

bool CPropertyBag::Find(const std::wstring& name, std::wstring& value) const {
  for (const auto& [held, text] : values_) {
    if (SameName(held, name.c_str())) {
      value = text;
      return true;
    }
  }
  return false;
}

STDMETHODIMP CPropertyBag::Read(LPCOLESTR name, VARIANT* var, IErrorLog*) {
  if (name == nullptr || var == nullptr) return E_POINTER;
  const auto it = Lookup(name);
  if (it == values_.end()) return E_INVALIDARG;
  // Only vt is meaningful on entry; the rest may be garbage, so nothing converts into *var.
  const VARTYPE wanted = var->vt == VT_EMPTY ? VARTYPE{VT_BSTR} : var->vt;
  ScopedVariant text(it->second.c_str());
  if (text.Get().vt != VT_BSTR) return E_OUTOFMEMORY;
  ScopedVariant converted;
  const HRESULT result = ::VariantChangeType(converted.Receive(), text.Pointer(), 0, wanted);
  if (FAILED(result)) return result;
  converted.Detach(var);
  return S_OK;
}

STDMETHODIMP CPropertyBag::Write(LPCOLESTR name, VARIANT* var) {
  if (name == nullptr || var == nullptr) return E_POINTER;
  ScopedVariant text;
  const HRESULT result = ::VariantChangeType(text.Receive(), var, VARIANT_ALPHABOOL, VT_BSTR);
  if (FAILED(result)) return result;
  const BSTR value = text.Get().bstrVal;
  Set(name, value ? std::wstring(value, ::SysStringLen(value)) : std::wstring());
  return S_OK;
}
