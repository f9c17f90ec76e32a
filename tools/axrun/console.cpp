#include "tools/axrun/console.h"

#include <windows.h>

#include "common/text_conversion.h"

namespace {

void WriteLine(DWORD which, const std::wstring& text) {
  const HANDLE stream = ::GetStdHandle(which);
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) return;  // no console: nowhere to go
  const std::string bytes = WideToUtf8(text + L"\n");
  DWORD written = 0;
  // A closed stream has no one left to tell.
  (void)::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void PrintLine(const std::wstring& text) { WriteLine(STD_OUTPUT_HANDLE, text); }

void PrintErrorLine(const std::wstring& text) { WriteLine(STD_ERROR_HANDLE, text); }
