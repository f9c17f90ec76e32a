#include <windows.h>

#include <string>

#include "core/run_mode.h"
#include "installer_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The tail is taken from the full command line so that a trailing blank is kept as typed.
  return CInstallerApp().Run(instance, std::wstring(CommandLineTail(::GetCommandLineW())));
}
