#include "tools/control_host/folder_url.h"

#include <shlwapi.h>
#include <wininet.h>

#include "common/win_error.h"

HRESULT FolderUrl(const std::wstring& folder, std::wstring* url) {
  if (url == nullptr) return E_POINTER;
  wchar_t full[MAX_PATH];
  const DWORD length = ::GetFullPathNameW(folder.c_str(), MAX_PATH, full, nullptr);
  if (length == 0) return HResultFromLastError();
  if (length >= MAX_PATH - 1) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
  std::wstring path(full, length);
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  wchar_t text[INTERNET_MAX_URL_LENGTH];
  DWORD size = INTERNET_MAX_URL_LENGTH;
  const HRESULT result = ::UrlCreateFromPathW(path.c_str(), text, &size, 0);
  if (FAILED(result)) return result;
  url->assign(text, size);
  return S_OK;
}
