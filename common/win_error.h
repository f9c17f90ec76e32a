#pragma once

#include <windows.h>

// Turns a Win32 error code into an HRESULT. A failure never comes out as S_OK: a caller that
// saw a failure but finds no error code gets E_FAIL.
inline HRESULT HResultFromWin32(DWORD error) {
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

inline HRESULT HResultFromLastError() { return HResultFromWin32(::GetLastError()); }
