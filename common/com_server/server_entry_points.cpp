// DllMain and the exports of an in-process server, over the tables the DLL defines.
#include "common/com_server/server_entry_points.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ComModule::Init(instance);
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    ComModule::Unload();  // FreeLibrary, not the end of the process
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  return GetClassObject(ServerClasses(), clsid, riid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ComModule::CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() { return RegisterServer(ServerRegistration()); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return UnregisterServer(ServerRegistration()); }
