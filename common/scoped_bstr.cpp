#include "common/scoped_bstr.h"

#include <cassert>
#include <utility>

ScopedBstr& ScopedBstr::operator=(ScopedBstr&& other) noexcept {
  if (this != &other) Reset(other.Take());
  return *this;
}

void ScopedBstr::Reset(BSTR owned) {
  if (bstr_ != nullptr && bstr_ != owned) ::SysFreeString(bstr_);
  bstr_ = owned;
}

BSTR ScopedBstr::Take() { return std::exchange(bstr_, nullptr); }

BSTR* ScopedBstr::Receive() {
  assert(bstr_ == nullptr);
  return &bstr_;
}

HRESULT ScopedBstr::CopyFrom(BSTR value) {
  if (value == nullptr) {
    Reset();
    return S_OK;
  }
  return Assign({value, ::SysStringLen(value)});
}

HRESULT ScopedBstr::Assign(std::wstring_view text) {
  if (text.size() > 0x7FFFFFF0u) return E_OUTOFMEMORY;  // past what a BSTR can count
  BSTR copy = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (copy == nullptr) return E_OUTOFMEMORY;
  Reset(copy);
  return S_OK;
}

HRESULT ScopedBstr::CopyTo(BSTR* out) const {
  if (out == nullptr) return E_POINTER;
  *out = ::SysAllocStringLen(bstr_ ? bstr_ : L"", Length());
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}
