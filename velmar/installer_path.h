#pragma once

#include <string>

// The external installer's path beside the control's own module, found by its fixed file name
// "Velmar.dll": the module's full path in upper case with "VELMAR.DLL" replaced by
// "KV3Installer.exe". Empty when no module of that name is loaded (or its path does not fit
// MAX_PATH), so that no other program is ever taken for the installer.
std::wstring InstallerPathBesideControl();

// The same from a given module path.
std::wstring InstallerPathFor(const std::wstring& modulePath);
