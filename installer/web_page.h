#pragma once

#include <windows.h>

#include <string>

#include "common/scoped_owner.h"

// The maker's home page, opened by the dialog's command 1025.
inline constexpr wchar_t kMakerHomePage[] = L"http://www.kovira.co.kr/";

// Starting programs goes through this seam, so that tests see what would run without running it.
class IProgramLauncher {
 public:
  virtual ~IProgramLauncher() = default;
  // The shell's "open" of the address, no owner, no parameters or folder; like ShellExecute,
  // a result above 32 is success.
  virtual INT_PTR ShellOpen(const std::wstring& address, int show) = 0;
  // The command line started as it is (no application name, nothing inherited, no flags).
  virtual ScopedHandle StartProcess(const std::wstring& commandLine) = 0;
};

// ShellExecute and CreateProcess.
IProgramLauncher& SystemProgramLauncher();

struct WebPageOpened {
  INT_PTR shellResult = 0;  // the shell's answer, kept when the fallback ran
  ScopedHandle process;     // the HTML handler started because the shell failed
  bool Succeeded() const { return shellResult > 32 || process.IsValid(); }
};

// Opens the address with the shell or, when that fails, with the open command of the class
// registered for ".htm" under classesRoot, its "%1" placeholder and what follows cut away.
WebPageOpened OpenWebPage(const std::wstring& address, int show,
                          IProgramLauncher& launcher = SystemProgramLauncher(),
                          HKEY classesRoot = HKEY_CLASSES_ROOT);
