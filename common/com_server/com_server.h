#pragma once

#include <windows.h>

#include <span>

#include "common/com_server/class_factory.h"
#include "common/com_server/com_module.h"
#include "common/com_server/registry_rows.h"

// Everything a DLL's four exports need, as tables:
//   HRESULT __stdcall DllGetClassObject(REFCLSID c, REFIID i, void** o) {
//     return GetClassObject(kClasses, c, i, o); }
//   HRESULT __stdcall DllCanUnloadNow() { return ComModule::CanUnloadNow(); }
//   HRESULT __stdcall DllRegisterServer() { return RegisterServer(Describe()); }
struct ServerDescription {
  std::span<const RegistryRow> rows;
  // Beyond %MODULE%, which is always the DLL's full path.
  std::span<const Substitution> substitutions;
  // Whether the DLL carries a type library to register (TYPELIB resource 1).
  bool typeLibrary = false;
};

// The rows, then the type library; on a failure takes back what it wrote.
HRESULT RegisterServer(const ServerDescription& server);
// The type library, then the rows; runs every step and reports the first failure.
HRESULT UnregisterServer(const ServerDescription& server);
