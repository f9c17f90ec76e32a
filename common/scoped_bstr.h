#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>
#include <string_view>

// Owns one BSTR. A null BSTR is the empty text, as automation treats it. Copies count the
// characters (a BSTR may hold nulls); a failed copy reports E_OUTOFMEMORY and changes nothing.
class ScopedBstr {
 public:
  ScopedBstr() = default;
  // Takes ownership of a BSTR made elsewhere.
  explicit ScopedBstr(BSTR owned) : bstr_(owned) {}
  ScopedBstr(ScopedBstr&& other) noexcept : bstr_(other.Take()) {}
  ScopedBstr& operator=(ScopedBstr&& other) noexcept;
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  ~ScopedBstr() { Reset(); }

  BSTR Get() const { return bstr_; }
  bool IsValid() const { return bstr_ != nullptr; }
  void Reset(BSTR owned = nullptr);
  [[nodiscard]] BSTR Take();
  // For out-parameters; the owner must be empty.
  BSTR* Receive();

  // Holds a copy of value (null stays null), as a property put keeps what it is given.
  [[nodiscard]] HRESULT CopyFrom(BSTR value);
  // Holds a copy of text.
  [[nodiscard]] HRESULT Assign(std::wstring_view text);
  // A new copy for an out-parameter, as a property get hands one out: a null BSTR is handed out
  // as an empty string. E_POINTER for a null out; *out is null on failure.
  [[nodiscard]] HRESULT CopyTo(BSTR* out) const;

  UINT Length() const { return ::SysStringLen(bstr_); }
  bool Empty() const { return Length() == 0; }
  std::wstring_view View() const { return {bstr_ ? bstr_ : L"", Length()}; }
  std::wstring Text() const { return std::wstring(View()); }

 private:
  BSTR bstr_ = nullptr;
};
