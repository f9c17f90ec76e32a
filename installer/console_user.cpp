#include "installer/console_user.h"

#include <lm.h>

#include <string>
#include <vector>

#include "common/scoped_owner.h"
#include "common/text_conversion.h"

namespace {

const wchar_t kExtSettingsPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\";
const char kShellModuleName[] =
    "Explorer.EXE";  // exact case: Wine's own "explorer.exe" is no logon shell
constexpr DWORD kProcessAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// One call of this size: more accounts than fit means none is examined.
constexpr DWORD kAccountEnumBytes = 1024;

using ConvertSidToStringSidFn = BOOL(WINAPI*)(PSID, LPSTR*);
using LookupAccountNameFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, PSID, LPDWORD, LPSTR, LPDWORD,
                                          PSID_NAME_USE);
using EqualSidFn = BOOL(WINAPI*)(PSID, PSID);
using GetModuleBaseNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);
using ProcessIdToSessionIdFn = BOOL(WINAPI*)(DWORD, DWORD*);
using GetConsoleSessionFn = DWORD(WINAPI*)();
using NetApiBufferFreeFn = NET_API_STATUS(NET_API_FUNCTION*)(LPVOID);
using NetUserEnumFn = NET_API_STATUS(NET_API_FUNCTION*)(LPCWSTR, DWORD, DWORD, LPBYTE*, DWORD,
                                                        LPDWORD, LPDWORD, PDWORD);

struct Entries {
  ConvertSidToStringSidFn convertSidToStringSid = nullptr;
  LookupAccountNameFn lookupAccountName = nullptr;
  EqualSidFn equalSid = nullptr;
  GetModuleBaseNameFn getModuleBaseName = nullptr;
  EnumProcessesFn enumProcesses = nullptr;
  EnumProcessModulesFn enumProcessModules = nullptr;
  ProcessIdToSessionIdFn processIdToSessionId = nullptr;
  GetConsoleSessionFn getConsoleSession = nullptr;
  NetApiBufferFreeFn netApiBufferFree = nullptr;
  NetUserEnumFn netUserEnum = nullptr;
};

template <typename Fn>
bool Resolve(const ConsoleUserApi& api, HMODULE module, const char* name, Fn& entry) {
  // Through the generic function type, which converts to any other without complaint.
  entry = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(api.getProcAddress(module, name)));
  return entry != nullptr;
}

// The enumeration buffer goes back through the NetApiBufferFree that was resolved by name.
struct NetBuffer {
  void* data = nullptr;
  NetApiBufferFreeFn free = nullptr;
  bool operator==(const NetBuffer&) const = default;
};
struct NetBufferTraits {
  using Handle = NetBuffer;
  static Handle Null() { return {}; }
  static void Close(Handle h) { h.free(h.data); }
};
struct LocalMemoryTraits {
  using Handle = HLOCAL;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};

// Every process id; the list is read again, larger, for as long as it fills the array.
std::vector<DWORD> ProcessIds(const Entries& e) {
  std::vector<DWORD> ids(1024);
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    DWORD used = 0;
    if (!e.enumProcesses(ids.data(), capacity, &used)) return {};
    if (used < capacity || ids.size() >= 65536) {
      ids.resize(used / sizeof(DWORD));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

std::string ModuleBaseName(const Entries& e, HANDLE process, HMODULE module) {
  std::string name(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(name.size());
    const DWORD length = e.getModuleBaseName(process, module, name.data(), size);
    if (length == 0) return {};
    // A name that filled the buffer may have been cut short.
    if (length + 1 < size || size >= 32768) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

ScopedHandle FindShellProcess(const ConsoleUserApi& api, const Entries& e, DWORD consoleSession) {
  for (const DWORD id : ProcessIds(e)) {
    ScopedHandle process(api.openProcess(kProcessAccess, FALSE, id));
    if (!process) continue;
    HMODULE first = nullptr;  // the program itself
    DWORD needed = 0;
    if (!e.enumProcessModules(process.Get(), &first, sizeof(first), &needed)) continue;
    if (ModuleBaseName(e, process.Get(), first) != kShellModuleName) continue;
    DWORD session = 0;
    if (e.processIdToSessionId(id, &session) && session == consoleSession) return process;
  }
  return {};
}

bool AccountHasSid(const Entries& e, const wchar_t* account, PSID wanted) {
  const std::string name = WideToAnsi(account ? account : L"");
  DWORD sidSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use;
  (void)e.lookupAccountName(nullptr, name.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0) return false;
  std::vector<BYTE> sid(sidSize);
  std::vector<char> domain(domainSize + 1);
  domainSize = static_cast<DWORD>(domain.size());
  if (!e.lookupAccountName(nullptr, name.c_str(), sid.data(), &sidSize, domain.data(), &domainSize,
                           &use)) {
    return false;
  }
  return e.equalSid(sid.data(), wanted) != FALSE;
}

// Whether the first local normal account with this SID is an administrator. Accounts are only
// looked at when a single enumeration call returned them all.
bool IsLocalAdministrator(const Entries& e, PSID user) {
  LPBYTE data = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  DWORD resume = 0;
  const NET_API_STATUS status = e.netUserEnum(nullptr, 1, FILTER_NORMAL_ACCOUNT, &data,
                                              kAccountEnumBytes, &read, &total, &resume);
  ScopedOwner<NetBufferTraits> buffer;
  if (data != nullptr) buffer.Reset(NetBuffer{data, e.netApiBufferFree});
  if (status != NERR_Success || data == nullptr) return false;
  const auto* accounts = reinterpret_cast<const USER_INFO_1*>(data);
  for (DWORD i = 0; i < read; ++i) {
    if (AccountHasSid(e, accounts[i].usri1_name, user))
      return accounts[i].usri1_priv == USER_PRIV_ADMIN;
  }
  return false;
}

}  // namespace

ConsoleUserSettings FindConsoleUser(const ConsoleUserApi& api) {
  const ScopedModule advapi(api.loadLibrary("Advapi32.dll"));
  const ScopedModule netapi(api.loadLibrary("Netapi32.dll"));
  const ScopedModule kernel(api.loadLibrary("Kernel32.dll"));
  const ScopedModule psapi(api.loadLibrary("Psapi.dll"));
  if (!advapi || !netapi || !kernel || !psapi) return {};

  Entries e;
  const bool resolved =
      Resolve(api, advapi.Get(), "ConvertSidToStringSidA", e.convertSidToStringSid) &&
      Resolve(api, advapi.Get(), "LookupAccountNameA", e.lookupAccountName) &&
      Resolve(api, advapi.Get(), "EqualSid", e.equalSid) &&
      Resolve(api, psapi.Get(), "GetModuleBaseNameA", e.getModuleBaseName) &&
      Resolve(api, psapi.Get(), "EnumProcesses", e.enumProcesses) &&
      Resolve(api, psapi.Get(), "EnumProcessModules", e.enumProcessModules) &&
      Resolve(api, kernel.Get(), "ProcessIdToSessionId", e.processIdToSessionId) &&
      Resolve(api, kernel.Get(), "WTSGetActiveConsoleSessionId", e.getConsoleSession) &&
      Resolve(api, netapi.Get(), "NetApiBufferFree", e.netApiBufferFree) &&
      Resolve(api, netapi.Get(), "NetUserEnum", e.netUserEnum);
  if (!resolved) return {};

  ScopedHandle shell = FindShellProcess(api, e, e.getConsoleSession());
  if (!shell) return {};
  ScopedHandle token;
  HANDLE opened = nullptr;
  if (api.openProcessToken(shell.Get(), TOKEN_QUERY, &opened)) token.Reset(opened);
  shell.Reset();
  if (!token) return {};

  DWORD size = 0;
  (void)api.getTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return {};
  std::vector<BYTE> tokenUser(size);
  if (!api.getTokenInformation(token.Get(), TokenUser, tokenUser.data(), size, &size)) return {};
  const PSID user = reinterpret_cast<TOKEN_USER*>(tokenUser.data())->User.Sid;
  if (!api.isValidSid(user)) return {};

  if (IsLocalAdministrator(e, user)) return {HKEY_CURRENT_USER, kExtSettingsPath, L""};

  LPSTR text = nullptr;
  if (!e.convertSidToStringSid(user, &text)) return {};
  const ScopedOwner<LocalMemoryTraits> textOwner(text);
  const std::wstring sid = AnsiToWide(text);
  return {HKEY_USERS, sid + L"\\" + kExtSettingsPath, sid};
}
