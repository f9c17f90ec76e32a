#include "tools/control_host/error_text.h"

#include <cwchar>

#include "common/scoped_owner.h"

namespace {

struct LocalMemTraits {
  using Handle = wchar_t*;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};

}  // namespace

std::wstring DescribeResult(HRESULT result) {
  wchar_t code[16];
  std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(result));
  ScopedOwner<LocalMemTraits> text;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(text.Receive()), 0,
      nullptr);
  std::wstring message(text.Get() ? text.Get() : L"", length);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  return message.empty() ? code : std::wstring(code) + L" (" + message + L")";
}
