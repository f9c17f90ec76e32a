#include "installer/web_page.h"

#include <shellapi.h>

#include "installer/utilities.h"

namespace {

class SystemLauncher final : public IProgramLauncher {
 public:
  INT_PTR ShellOpen(const std::wstring& address, int show) override {
    return reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, show));
  }
  ScopedHandle StartProcess(const std::wstring& commandLine) override {
    std::wstring writable = commandLine;  // CreateProcess may write into it
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
      return {};
    }
    ScopedHandle thread(info.hThread);  // not needed
    return ScopedHandle(info.hProcess);
  }
};

// The open command up to its placeholder, a quoted "%1" preferred to a bare one, then the
// address after a single blank.
std::wstring HandlerCommandLine(std::wstring command, const std::wstring& address) {
  size_t cut = command.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = command.find(L"%1");
  if (cut != std::wstring::npos) command.erase(cut);
  // Blanks left before the placeholder would double the separator.
  command.erase(command.find_last_not_of(L" \t") + 1);
  return command + L" " + address;
}

}  // namespace

IProgramLauncher& SystemProgramLauncher() {
  static SystemLauncher launcher;
  return launcher;
}

WebPageOpened OpenWebPage(const std::wstring& address, int show, IProgramLauncher& launcher,
                          HKEY classesRoot) {
  WebPageOpened opened;
  opened.shellResult = launcher.ShellOpen(address, show);
  if (opened.shellResult > 32) return opened;

  // Where the shell cannot open an address, the browser registered for HTML files can.
  std::wstring htmlClass;
  if (GetRegistryText(classesRoot, L".htm", htmlClass) != ERROR_SUCCESS) return opened;
  std::wstring command;
  if (GetRegistryText(classesRoot, htmlClass + L"\\shell\\open\\command", command) !=
      ERROR_SUCCESS) {
    return opened;
  }
  opened.process = launcher.StartProcess(HandlerCommandLine(command, address));
  return opened;
}
