#pragma once

#include <windows.h>

#include "common/scoped_owner.h"

class CWideStringList;
struct tagMODULEENTRY32;  // the ANSI toolhelp entry

// Lists the full paths of the modules a process has loaded, upper-cased by the ANSI code page's
// rules. The NT family goes through psapi, the 9x family through the toolhelp snapshot; both
// sets of entry points are looked up by name, since neither library has all of them everywhere.
class CModuleEnumerator {
 public:
  enum class Family { Nt, Windows9x };

  // Detects the family and, on the NT family, enables the debug privilege so that other users'
  // processes can be opened.
  CModuleEnumerator();
  // A chosen family and system library ("psapi.dll" or "kernel32.dll" when null); tests take
  // the other family's routine or a library without the entry points.
  CModuleEnumerator(Family family, const char* libraryName);
  virtual ~CModuleEnumerator() = default;
  CModuleEnumerator(const CModuleEnumerator&) = delete;
  CModuleEnumerator& operator=(const CModuleEnumerator&) = delete;

  // Clears the list and fills it with the paths of the modules of the process (0: this one).
  // False when the process cannot be opened or snapshotted, or no routine is available; the NT
  // routine also gives false when no path could be read.
  bool EnumModules(DWORD processId, CWideStringList& list);

  static Family SystemFamily();

  // Enables SeDebugPrivilege for this process; true only when GetLastError is 0 afterwards.
  static bool EnableDebugPrivilege();

 private:
  using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
  using GetModuleFileNameExAFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using Module32Fn = BOOL(WINAPI*)(HANDLE, tagMODULEENTRY32*);
  enum class Routine { None, Nt, Windows9x };

  void Load(Family family, const char* libraryName);
  bool EnumNt(DWORD processId, CWideStringList& list);
  bool Enum9x(DWORD processId, CWideStringList& list);

  // Guarded calls: a missing entry point reports failure instead of being called.
  BOOL CallEnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes, DWORD* needed) const;
  DWORD CallGetModuleFileNameEx(HANDLE process, HMODULE module, char* path, DWORD size) const;
  HANDLE CallCreateSnapshot(DWORD flags, DWORD processId) const;
  BOOL CallModule32First(HANDLE snapshot, tagMODULEENTRY32* entry) const;
  BOOL CallModule32Next(HANDLE snapshot, tagMODULEENTRY32* entry) const;

  ScopedModule library_;
  Routine routine_ = Routine::None;
  EnumProcessModulesFn enumProcessModules_ = nullptr;
  GetModuleFileNameExAFn getModuleFileNameEx_ = nullptr;
  CreateSnapshotFn createSnapshot_ = nullptr;
  Module32Fn module32First_ = nullptr;
  Module32Fn module32Next_ = nullptr;
};
