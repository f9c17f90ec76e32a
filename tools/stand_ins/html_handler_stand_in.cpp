// Stands in for a browser registered as the HTML handler: writes the command line it was
// started with (UTF-16, no terminator) to the file named by KOVIRA_HANDLER_OUTPUT, and exits.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"KOVIRA_HANDLER_OUTPUT", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const wchar_t* commandLine = ::GetCommandLineW();
  const DWORD bytes = static_cast<DWORD>(std::wcslen(commandLine) * sizeof(wchar_t));
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, commandLine, bytes, &written, nullptr);
  ::CloseHandle(file);
  return ok && written == bytes ? 0 : 4;
}
