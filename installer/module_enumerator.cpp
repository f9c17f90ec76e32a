#include "installer/module_enumerator.h"

#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/text_conversion.h"
#include "installer/wide_string_list.h"

namespace {

constexpr DWORD kMaxModules = 4096;
constexpr DWORD kFirstPathSize = MAX_PATH;
constexpr DWORD kLongestPath = 32768;  // the longest path the system can hand out

template <typename Fn>
Fn Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// Upper-cases an ANSI path in place by the ANSI code page's rules and stores it wide.
bool AddUpperCased(std::string& path, CWideStringList& list) {
  ::CharUpperA(path.data());
  return list.Add(AnsiToWide(path).c_str());
}

}  // namespace

CModuleEnumerator::CModuleEnumerator() { Load(SystemFamily(), nullptr); }

CModuleEnumerator::CModuleEnumerator(Family family, const char* libraryName) {
  Load(family, libraryName);
}

CModuleEnumerator::Family CModuleEnumerator::SystemFamily() {
  OSVERSIONINFOA version = {sizeof(version)};
  // GetVersionExA is deprecated for version checks, but the platform id is all this needs.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const bool nt = ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
  return nt ? Family::Nt : Family::Windows9x;
}

bool CModuleEnumerator::EnableDebugPrivilege() {
  ScopedHandle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Receive()))
    return false;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &privileges.Privileges[0].Luid))
    return false;
  ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
  // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks the privilege.
  return ::GetLastError() == 0;
}

void CModuleEnumerator::Load(Family family, const char* libraryName) {
  library_.Reset();
  routine_ = Routine::None;
  enumProcessModules_ = nullptr;
  getModuleFileNameEx_ = nullptr;
  createSnapshot_ = nullptr;
  module32First_ = nullptr;
  module32Next_ = nullptr;
  if (family == Family::Nt) {
    library_.Reset(::LoadLibraryA(libraryName ? libraryName : "psapi.dll"));
    if (!library_) return;
    routine_ = Routine::Nt;
    enumProcessModules_ = Resolve<EnumProcessModulesFn>(library_.Get(), "EnumProcessModules");
    getModuleFileNameEx_ = Resolve<GetModuleFileNameExAFn>(library_.Get(), "GetModuleFileNameExA");
    // Without it only the own user's processes can be opened; enumeration goes on either way.
    EnableDebugPrivilege();
  } else {
    library_.Reset(::LoadLibraryA(libraryName ? libraryName : "kernel32.dll"));
    if (!library_) return;
    routine_ = Routine::Windows9x;
    createSnapshot_ = Resolve<CreateSnapshotFn>(library_.Get(), "CreateToolhelp32Snapshot");
    module32First_ = Resolve<Module32Fn>(library_.Get(), "Module32First");
    module32Next_ = Resolve<Module32Fn>(library_.Get(), "Module32Next");
  }
}

bool CModuleEnumerator::EnumModules(DWORD processId, CWideStringList& list) {
  switch (routine_) {
    case Routine::Nt:
      return EnumNt(processId, list);
    case Routine::Windows9x:
      return Enum9x(processId, list);
    case Routine::None:
      break;
  }
  return false;
}

bool CModuleEnumerator::EnumNt(DWORD processId, CWideStringList& list) {
  list.Clear();
  ScopedHandle opened;
  HANDLE process = ::GetCurrentProcess();
  if (processId != 0) {
    opened.Reset(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!opened) return false;
    process = opened.Get();
  }

  std::vector<HMODULE> modules(kMaxModules);
  DWORD bytes = 0;
  if (!CallEnumProcessModules(process, modules.data(), kMaxModules * sizeof(HMODULE), &bytes))
    return false;
  const DWORD count = std::min<DWORD>(bytes / sizeof(HMODULE), kMaxModules);

  bool added = false;
  std::string path;
  for (DWORD i = 0; i < count; ++i) {
    // Long paths are read and compared whole: a module deep in a folder tree must still be seen.
    DWORD size = kFirstPathSize;
    DWORD length = 0;
    for (;;) {
      path.assign(size, '\0');
      length = CallGetModuleFileNameEx(process, modules[i], path.data(), size);
      // A full buffer may hold a cut path; only a shorter answer is surely whole.
      if (length + 1 < size || size >= kLongestPath) break;
      size *= 2;
    }
    if (length == 0) continue;
    path.resize(std::min(length, size - 1));
    if (AddUpperCased(path, list)) added = true;
  }
  return added;
}

bool CModuleEnumerator::Enum9x(DWORD processId, CWideStringList& list) {
  list.Clear();
  HANDLE raw =
      CallCreateSnapshot(TH32CS_SNAPMODULE, processId ? processId : ::GetCurrentProcessId());
  if (raw == INVALID_HANDLE_VALUE || raw == nullptr) return false;
  ScopedHandle snapshot(raw);

  tagMODULEENTRY32 entry = {sizeof(entry)};
  if (!CallModule32First(snapshot.Get(), &entry)) return false;
  do {
    std::string path(entry.szExePath);  // the structure bounds these paths itself
    AddUpperCased(path, list);
  } while (CallModule32Next(snapshot.Get(), &entry));
  return true;
}

BOOL CModuleEnumerator::CallEnumProcessModules(HANDLE process, HMODULE* modules, DWORD bytes,
                                               DWORD* needed) const {
  return enumProcessModules_ ? enumProcessModules_(process, modules, bytes, needed) : FALSE;
}

DWORD CModuleEnumerator::CallGetModuleFileNameEx(HANDLE process, HMODULE module, char* path,
                                                 DWORD size) const {
  return getModuleFileNameEx_ ? getModuleFileNameEx_(process, module, path, size) : 0;
}

HANDLE CModuleEnumerator::CallCreateSnapshot(DWORD flags, DWORD processId) const {
  return createSnapshot_ ? createSnapshot_(flags, processId) : nullptr;
}

BOOL CModuleEnumerator::CallModule32First(HANDLE snapshot, tagMODULEENTRY32* entry) const {
  return module32First_ ? module32First_(snapshot, entry) : FALSE;
}

BOOL CModuleEnumerator::CallModule32Next(HANDLE snapshot, tagMODULEENTRY32* entry) const {
  return module32Next_ ? module32Next_(snapshot, entry) : FALSE;
}
