#include "installer/run_log.h"

#include <cstdio>

#include "common/system_folders.h"
#include "common/text_conversion.h"

std::wstring CRunLog::FileNameFor(const std::wstring& programPath) {
  std::wstring name = programPath.substr(programPath.find_last_of(L"\\/") + 1);
  const size_t dot = name.rfind(L'.');
  return (dot == std::wstring::npos ? name : name.substr(0, dot)) + L".log";
}

void CRunLog::Begin(const std::wstring& programPath) {
  file_.Reset();
  path_.clear();
  const size_t slash = programPath.find_last_of(L"\\/");
  const std::wstring name = FileNameFor(programPath);
  const std::wstring candidates[] = {
      slash == std::wstring::npos ? name : programPath.substr(0, slash + 1) + name,
      TempFolder() + name,
  };
  for (const std::wstring& candidate : candidates) {
    HANDLE h = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      file_.Reset(h);
      path_ = candidate;
      return;
    }
  }
}

void CRunLog::Append(const std::wstring& cabName, const std::wstring& outcome) {
  if (!file_) return;
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  wchar_t time[32];
  swprintf(time, 32, L"%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
           now.wMinute, now.wSecond);
  const std::string line =
      WideToUtf8(std::wstring(time) + L"\t" + cabName + L"\t" + outcome + L"\r\n");
  DWORD written = 0;
  (void)::WriteFile(file_.Get(), line.data(), static_cast<DWORD>(line.size()), &written,
                    nullptr);  // best effort
}
