#pragma once

#include <windows.h>

#include "installer/install_engine.h"

// The calls discovery makes directly. Everything else it needs is loaded by name through
// loadLibrary/getProcAddress, so that the program starts on systems lacking some of them.
// Tests replace the table to play machines they cannot have.
struct ConsoleUserApi {
  HMODULE(WINAPI* loadLibrary)(LPCSTR name) = ::LoadLibraryA;
  FARPROC(WINAPI* getProcAddress)(HMODULE module, LPCSTR name) = ::GetProcAddress;
  HANDLE(WINAPI* openProcess)(DWORD access, BOOL inherit, DWORD processId) = ::OpenProcess;
  BOOL(WINAPI* openProcessToken)(HANDLE process, DWORD access, PHANDLE token) = ::OpenProcessToken;
  BOOL(WINAPI* getTokenInformation)
  (HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID data, DWORD size,
   PDWORD needed) = ::GetTokenInformation;
  BOOL(WINAPI* isValidSid)(PSID sid) = ::IsValidSid;
};

// The user of the shell ("Explorer.EXE") of the active console session, and where that user's
// browser settings live: the current user's hive for a local administrator, otherwise
// HKEY_USERS under the user's SID. No root when it cannot be told.
ConsoleUserSettings FindConsoleUser(const ConsoleUserApi& api = {});
