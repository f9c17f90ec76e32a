#pragma once

#include <windows.h>

#include <string>

#include "common/com_object.h"

// State of the one in-process server a DLL holds: its module handle and what keeps it loaded.
// Objects and LockServer locks are counted apart, so a stray LockServer(FALSE) can never let the
// DLL unload under a live object.
class ComModule {
 public:
  // From DllMain on DLL_PROCESS_ATTACH.
  static void Init(HINSTANCE instance);
  static HINSTANCE Instance();
  // The DLL's full path; empty before Init.
  static std::wstring Path();

  static void ObjectCreated();
  static void ObjectDestroyed();
  static void Lock();
  // False (and nothing changes) when no lock is held.
  static bool Unlock();

  static LONG Objects();
  static LONG Locks();
  // DllCanUnloadNow's answer: S_OK only with no objects and no locks.
  static HRESULT CanUnloadNow();

  // Something to undo when the DLL is unloaded while its process goes on (what Windows does not
  // take back itself, such as window classes). A callback added twice runs once.
  static void AtUnload(void (*callback)());
  // From DllMain on DLL_PROCESS_DETACH by FreeLibrary: runs the callbacks, last added first.
  static void Unload();
};

// Counts the owner as a live object of the module.
class ModuleObjectCount {
 public:
  ModuleObjectCount() { ComModule::ObjectCreated(); }
  ~ModuleObjectCount() { ComModule::ObjectDestroyed(); }
  ModuleObjectCount(const ModuleObjectCount&) = delete;
  ModuleObjectCount& operator=(const ModuleObjectCount&) = delete;
};

// A COM object of the server: CComObject that keeps the DLL loaded while it lives.
template <typename... Interfaces>
class ServerObject : public CComObject<Interfaces...> {
 protected:
  ~ServerObject() override = default;

 private:
  ModuleObjectCount count_;
};
