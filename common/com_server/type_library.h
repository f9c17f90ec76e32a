#pragma once

#include <windows.h>

// The type library embedded in a module as TYPELIB resource 1, registered with the module's
// path. Unregistering a library that is not registered succeeds.
HRESULT RegisterModuleTypeLibrary(HMODULE module);
HRESULT UnregisterModuleTypeLibrary(HMODULE module);
