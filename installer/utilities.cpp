#include "installer/utilities.h"

#include <cwchar>
#include <limits>

#include "common/reg_key.h"
#include "common/text_conversion.h"

LONG GetRegistryText(HKEY root, const std::wstring& path, std::wstring& text) {
  text.clear();
  RegKey key;
  const LONG result = key.Open(root, path, KEY_QUERY_VALUE);
  if (result != ERROR_SUCCESS) return result;
  text = key.ReadString(L"").value_or(L"");
  return ERROR_SUCCESS;
}

int SameText(const wchar_t* a, const wchar_t* b) {
  const int order = std::wcscmp(a ? a : L"", b ? b : L"");
  return (order > 0) - (order < 0);
}

namespace {

template <typename Char, typename Text>
bool CopyWhole(const Text& converted, Char* buffer, size_t capacity) {
  if (converted.size() >= capacity) return false;
  converted.copy(buffer, converted.size());
  buffer[converted.size()] = Char{};
  return true;
}

}  // namespace

bool AnsiToWideBuffer(const char* text, wchar_t* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  buffer[0] = L'\0';  // a failed conversion leaves an empty result
  return CopyWhole(AnsiToWide(text ? text : ""), buffer, capacity);
}

bool WideToAnsiBuffer(const wchar_t* text, char* buffer, size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  buffer[0] = '\0';
  return CopyWhole(WideToAnsi(text ? text : L""), buffer, capacity);
}

ScopedBstr AnsiToBstr(const char* text) {
  const std::wstring wide = AnsiToWide(text ? text : "");
  return ScopedBstr(::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

HRESULT AppendToBstr(ScopedBstr& target, const wchar_t* text, UINT length) {
  const UINT existing = ::SysStringLen(target.Get());
  if (length > std::numeric_limits<UINT>::max() - existing) return E_OUTOFMEMORY;
  BSTR joined = ::SysAllocStringLen(nullptr, existing + length);
  if (joined == nullptr) return E_OUTOFMEMORY;
  if (existing != 0) std::wmemcpy(joined, target.Get(), existing);
  if (length != 0) std::wmemcpy(joined + existing, text, length);
  target.Reset(joined);
  return S_OK;
}
