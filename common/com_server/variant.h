#pragma once

#include <windows.h>

#include <oleauto.h>

#include <utility>

// Owns one VARIANT: cleared (freeing a BSTR, releasing an interface) when it goes.
class ScopedVariant {
 public:
  ScopedVariant() { ::VariantInit(&value_); }
  explicit ScopedVariant(LONG number) : ScopedVariant() {
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  // VT_EMPTY when the string cannot be allocated.
  explicit ScopedVariant(const wchar_t* text) : ScopedVariant() {
    BSTR copy = ::SysAllocString(text);
    if (copy == nullptr) return;
    value_.vt = VT_BSTR;
    value_.bstrVal = copy;
  }
  ScopedVariant(ScopedVariant&& other) noexcept : ScopedVariant() {
    std::swap(value_, other.value_);
  }
  ScopedVariant& operator=(ScopedVariant&& other) noexcept {
    if (this != &other) {
      Reset();
      std::swap(value_, other.value_);
    }
    return *this;
  }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { Reset(); }

  // A deep copy: a BSTR duplicated, an interface add-ref'd.
  HRESULT CopyFrom(const VARIANT& source) {
    Reset();
    return ::VariantCopy(&value_, const_cast<VARIANT*>(&source));  // only read
  }

  void Reset() { (void)::VariantClear(&value_); }

  // Hands the value to an out-parameter, whose owner clears it from then on; this owner is
  // left empty.
  void Detach(VARIANT* out) {
    *out = value_;
    ::VariantInit(&value_);
  }

  const VARIANT& Get() const { return value_; }
  VARIANT* Pointer() { return &value_; }
  // For out-parameters; the owner is emptied first.
  VARIANT* Receive() {
    Reset();
    return &value_;
  }

 private:
  VARIANT value_;
};
