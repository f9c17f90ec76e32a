#include "installer/system_removal_platform.h"

#include <shellapi.h>

#include <vector>

#include "common/scoped_owner.h"
#include "common/window/nested_message_loop.h"

IRemovalPlatform& SystemRemovalPlatform() {
  static CSystemRemovalPlatform platform;
  return platform;
}

void CSystemRemovalPlatform::StartAndWait(const std::wstring& commandLine) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{sizeof(startup)};
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return;
  }
  ScopedHandle processHandle(process.hProcess);
  ScopedHandle threadHandle(process.hThread);
  WaitFor(processHandle.Get());
}

void CSystemRemovalPlatform::ShellOpenAndWait(const std::wstring& file,
                                              const std::wstring& parameters,
                                              const std::wstring& folder) {
  SHELLEXECUTEINFOW info{sizeof(info)};
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = L"Open";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = folder.c_str();
  info.nShow = SW_HIDE;
  if (!::ShellExecuteExW(&info)) return;
  ScopedHandle process(info.hProcess);
  if (process) WaitFor(process.Get());
}

void CSystemRemovalPlatform::WaitFor(HANDLE process) const {
  CNestedMessageLoop messages;
  (void)messages.Wait(process, waitLimitMs_);  // whatever the outcome, the caller goes on
}
