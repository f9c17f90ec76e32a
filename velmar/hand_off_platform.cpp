#include "velmar/hand_off_platform.h"

#include <vector>

#include "common/scoped_owner.h"

namespace {

class SystemPlatform final : public IHandOffPlatform {
 public:
  bool ChecksPublisher() override {
    OSVERSIONINFOW version = {sizeof(version)};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExW(&version)) return true;  // a system that cannot say is checked
#pragma GCC diagnostic pop
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion > 3;
  }

  bool StartProcess(const std::wstring& application, const std::wstring& commandLine) override {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');  // CreateProcessW may write into its command line
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION started = {};
    if (!::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started)) {
      return false;
    }
    const ScopedHandle process(started.hProcess);
    const ScopedHandle thread(started.hThread);
    return true;
  }
};

}  // namespace

IHandOffPlatform& SystemHandOffPlatform() {
  static SystemPlatform platform;
  return platform;
}
