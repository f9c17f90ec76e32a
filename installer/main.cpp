#include <windows.h>

#include <string>

#include "installer/core/run_mode.h"
#include "installer/installer_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The tail is taken from the full command line so that a trailing blank is kept as typed.
  return CInstallerApp().Run(instance, std::wstring(CommandLineTail(::GetCommandLineW())));
}
