#include "installer/console_user.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <lm.h>
#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/text_conversion.h"
#include "installer/install_engine.h"
#include "tests/win/scripted_code_download.h"

namespace {

const std::wstring kExtSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\";
const HMODULE kProgramModule = reinterpret_cast<HMODULE>(0x00400000);
constexpr DWORD kNobodyAtTheConsole = 0xFFFFFFFF;

struct FakeProcess {
  DWORD id;
  std::string name;  // base name of its program module
  DWORD session = 1;
  std::wstring user = L"S-1-5-18";  // its token's user
  bool openable = true;
  bool modulesReadable = true;
};

struct FakeAccount {
  std::wstring name;
  std::wstring sid;
  DWORD privilege = USER_PRIV_USER;
  bool resolvable = true;
};

// A machine as the discovery's calls see it, and what the discovery left behind on it.
struct FakeMachine {
  DWORD consoleSession = 1;
  std::vector<FakeProcess> processes;
  std::vector<FakeAccount> accounts;
  NET_API_STATUS enumFailure = NERR_Success;
  std::string missingLibrary;
  std::string missingEntry;
  bool tokenOpens = true;
  bool tokenReadable = true;
  bool sidValid = true;
  bool sidConvertible = true;

  std::map<HMODULE, std::string> libraries;
  struct HandleInfo {
    DWORD processId;
    DWORD access;
  };
  std::map<HANDLE, HandleInfo> handles;
  std::vector<std::wstring> handleNames;  // every handle given out is a named event
  std::set<void*> liveBuffers;
  int badFrees = 0;

  const FakeProcess* Process(DWORD id) const {
    for (const auto& p : processes) {
      if (p.id == id) return &p;
    }
    return nullptr;
  }
  const FakeProcess* ProcessOf(HANDLE handle) const {
    const auto it = handles.find(handle);
    return it == handles.end() ? nullptr : Process(it->second.processId);
  }
  HANDLE NewHandle(DWORD processId, DWORD access) {
    const std::wstring name = L"KoviraConsoleUserTest-" + std::to_wstring(::GetCurrentProcessId()) +
                              L"-" + std::to_wstring(handleNames.size());
    HANDLE handle = ::CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    handleNames.push_back(name);
    handles[handle] = {processId, access};
    return handle;
  }
};

FakeMachine* g_machine = nullptr;

std::vector<BYTE> SidBytes(const std::wstring& text) {
  PSID sid = nullptr;
  if (!::ConvertStringSidToSidW(text.c_str(), &sid)) return {};
  std::vector<BYTE> bytes(static_cast<const BYTE*>(sid),
                          static_cast<const BYTE*>(sid) + ::GetLengthSid(sid));
  ::LocalFree(sid);
  return bytes;
}

BOOL Fail(DWORD error) {
  ::SetLastError(error);
  return FALSE;
}

// ---- The entries the discovery resolves by name, and its direct calls ----

BOOL WINAPI FakeConvertSidToStringSid(PSID sid, LPSTR* text) {
  return g_machine->sidConvertible ? ::ConvertSidToStringSidA(sid, text)
                                   : Fail(ERROR_NOT_ENOUGH_MEMORY);
}

BOOL WINAPI FakeLookupAccountName(LPCSTR, LPCSTR name, PSID sid, LPDWORD sidSize, LPSTR domain,
                                  LPDWORD domainSize, PSID_NAME_USE use) {
  static const char kDomain[] = "KOVIRA-PC";
  for (const auto& account : g_machine->accounts) {
    if (WideToAnsi(account.name) != name || !account.resolvable) continue;
    const auto bytes = SidBytes(account.sid);
    const bool fits = *sidSize >= bytes.size() && *domainSize >= sizeof(kDomain);
    *sidSize = static_cast<DWORD>(bytes.size());
    *domainSize = fits ? sizeof(kDomain) - 1 : sizeof(kDomain);
    if (!fits) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(sid, bytes.data(), bytes.size());
    std::memcpy(domain, kDomain, sizeof(kDomain));
    *use = SidTypeUser;
    return TRUE;
  }
  return Fail(ERROR_NONE_MAPPED);
}

BOOL WINAPI FakeEqualSid(PSID a, PSID b) { return ::EqualSid(a, b); }

DWORD WINAPI FakeGetModuleBaseName(HANDLE process, HMODULE module, LPSTR name, DWORD size) {
  const FakeProcess* p = g_machine->ProcessOf(process);
  if (p == nullptr || module != kProgramModule || size == 0) return Fail(ERROR_INVALID_HANDLE);
  const size_t length = p->name.copy(name, size - 1);  // cut short as the real one does
  name[length] = '\0';
  return static_cast<DWORD>(length);
}

BOOL WINAPI FakeEnumProcesses(DWORD* ids, DWORD size, DWORD* used) {
  const size_t count = std::min<size_t>(g_machine->processes.size(), size / sizeof(DWORD));
  for (size_t i = 0; i < count; ++i) ids[i] = g_machine->processes[i].id;
  *used = static_cast<DWORD>(count * sizeof(DWORD));
  return TRUE;
}

BOOL WINAPI FakeEnumProcessModules(HANDLE process, HMODULE* modules, DWORD size, LPDWORD needed) {
  const FakeProcess* p = g_machine->ProcessOf(process);
  if (p == nullptr || !p->modulesReadable) return Fail(ERROR_PARTIAL_COPY);
  if (size >= sizeof(HMODULE)) modules[0] = kProgramModule;
  *needed = 5 * sizeof(HMODULE);
  return TRUE;
}

BOOL WINAPI FakeProcessIdToSessionId(DWORD id, DWORD* session) {
  const FakeProcess* p = g_machine->Process(id);
  if (p == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  *session = p->session;
  return TRUE;
}

DWORD WINAPI FakeGetConsoleSession() { return g_machine->consoleSession; }

NET_API_STATUS NET_API_FUNCTION FakeNetApiBufferFree(LPVOID buffer) {
  if (g_machine->liveBuffers.erase(buffer) == 0)
    return ++g_machine->badFrees, ERROR_INVALID_PARAMETER;
  delete[] static_cast<BYTE*>(buffer);
  return NERR_Success;
}

// Returns the whole entries, names included, that fit in `preferred` bytes, as the real one does.
NET_API_STATUS NET_API_FUNCTION FakeNetUserEnum(LPCWSTR, DWORD level, DWORD, LPBYTE* buffer,
                                                DWORD preferred, LPDWORD read, LPDWORD total,
                                                PDWORD) {
  *buffer = nullptr;
  *read = *total = 0;
  if (g_machine->enumFailure != NERR_Success) return g_machine->enumFailure;
  if (level != 1) return ERROR_INVALID_LEVEL;
  const auto& accounts = g_machine->accounts;
  size_t fit = 0;
  size_t bytes = 0;
  for (; fit < accounts.size(); ++fit) {
    const size_t entry = sizeof(USER_INFO_1) + (accounts[fit].name.size() + 1) * sizeof(wchar_t);
    if (bytes + entry > preferred) break;
    bytes += entry;
  }
  auto* data = new BYTE[bytes + 1];
  g_machine->liveBuffers.insert(data);
  auto* entries = reinterpret_cast<USER_INFO_1*>(data);
  auto* names = reinterpret_cast<wchar_t*>(data + fit * sizeof(USER_INFO_1));
  for (size_t i = 0; i < fit; ++i) {
    entries[i] = USER_INFO_1{};
    entries[i].usri1_name = std::wcscpy(names, accounts[i].name.c_str());
    entries[i].usri1_priv = accounts[i].privilege;
    names += accounts[i].name.size() + 1;
  }
  *buffer = data;
  *read = static_cast<DWORD>(fit);
  *total = static_cast<DWORD>(accounts.size());
  return fit < accounts.size() ? ERROR_MORE_DATA : NERR_Success;
}

HMODULE WINAPI FakeLoadLibrary(LPCSTR name) {
  if (_stricmp(name, g_machine->missingLibrary.c_str()) == 0)
    return ::SetLastError(ERROR_MOD_NOT_FOUND), nullptr;
  HMODULE module = ::LoadLibraryA(name);  // a real module, so that freeing it is harmless
  if (module != nullptr) g_machine->libraries[module] = name;
  return module;
}

template <typename Fn>
FARPROC Entry(Fn fn) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(fn));
}

// Each entry is found only in the library that exports it on Windows.
FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  static const std::map<std::string, FARPROC> exports = {
      {"advapi32.dll:ConvertSidToStringSidA", Entry(FakeConvertSidToStringSid)},
      {"advapi32.dll:LookupAccountNameA", Entry(FakeLookupAccountName)},
      {"advapi32.dll:EqualSid", Entry(FakeEqualSid)},
      {"psapi.dll:GetModuleBaseNameA", Entry(FakeGetModuleBaseName)},
      {"psapi.dll:EnumProcesses", Entry(FakeEnumProcesses)},
      {"psapi.dll:EnumProcessModules", Entry(FakeEnumProcessModules)},
      {"kernel32.dll:ProcessIdToSessionId", Entry(FakeProcessIdToSessionId)},
      {"kernel32.dll:WTSGetActiveConsoleSessionId", Entry(FakeGetConsoleSession)},
      {"netapi32.dll:NetApiBufferFree", Entry(FakeNetApiBufferFree)},
      {"netapi32.dll:NetUserEnum", Entry(FakeNetUserEnum)},
  };
  std::string key = g_machine->libraries[module] + ":";
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto entry = exports.find(key + name);
  if (entry == exports.end() || name == g_machine->missingEntry)
    return ::SetLastError(ERROR_PROC_NOT_FOUND), nullptr;
  return entry->second;
}

HANDLE WINAPI FakeOpenProcess(DWORD access, BOOL, DWORD id) {
  const FakeProcess* p = g_machine->Process(id);
  if (p == nullptr || !p->openable) return ::SetLastError(ERROR_ACCESS_DENIED), nullptr;
  return g_machine->NewHandle(id, access);
}

BOOL WINAPI FakeOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
  const FakeProcess* p = g_machine->ProcessOf(process);
  if (p == nullptr || !g_machine->tokenOpens) return Fail(ERROR_ACCESS_DENIED);
  *token = g_machine->NewHandle(p->id, access);
  return TRUE;
}

BOOL WINAPI FakeGetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID data,
                                    DWORD size, PDWORD needed) {
  const auto it = g_machine->handles.find(token);
  if (it == g_machine->handles.end() || kind != TokenUser) return Fail(ERROR_INVALID_PARAMETER);
  if (!g_machine->tokenReadable || (it->second.access & TOKEN_QUERY) == 0)
    return Fail(ERROR_ACCESS_DENIED);
  const auto sid = SidBytes(g_machine->Process(it->second.processId)->user);
  *needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
  if (size < *needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
  auto* user = static_cast<TOKEN_USER*>(data);
  user->User = {static_cast<BYTE*>(data) + sizeof(TOKEN_USER), 0};
  std::memcpy(user->User.Sid, sid.data(), sid.size());
  return TRUE;
}

BOOL WINAPI FakeIsValidSid(PSID sid) { return g_machine->sidValid && ::IsValidSid(sid); }

const std::wstring kAliceSid = L"S-1-5-21-1111-2222-3333-1001";   // a local administrator
const std::wstring kBobSid = L"S-1-5-21-1111-2222-3333-1002";     // a standard local account
const std::wstring kDomainSid = L"S-1-5-21-7777-8888-9999-4242";  // an account of a domain

// A machine where `user` runs the shell of the console session, among the usual processes.
FakeMachine MachineWithConsoleUser(const std::wstring& user) {
  FakeMachine machine;
  machine.processes = {{4, "System", 0},
                       {380, "smss.exe", 0},
                       {512, "winlogon.exe", 1},
                       {640, "svchost.exe", 0, L"S-1-5-19"},
                       {1720, "Explorer.EXE", 1, user},
                       {2210, "notepad.exe", 1, user}};
  machine.accounts = {{L"Administrator", L"S-1-5-21-1111-2222-3333-500", USER_PRIV_ADMIN},
                      {L"Guest", L"S-1-5-21-1111-2222-3333-501", USER_PRIV_GUEST},
                      {L"alice", kAliceSid, USER_PRIV_ADMIN},
                      {L"bob", kBobSid, USER_PRIV_USER}};
  return machine;
}

ConsoleUserSettings CurrentUsersHive() { return {HKEY_CURRENT_USER, kExtSettings, L""}; }
ConsoleUserSettings UsersHive(const std::wstring& sid) {
  return {HKEY_USERS, sid + L"\\" + kExtSettings, sid};
}

std::wstring Describe(const ConsoleUserSettings& s) {
  const wchar_t* root = s.userRoot == HKEY_CURRENT_USER ? L"HKCU"
                        : s.userRoot == HKEY_USERS      ? L"HKU"
                                                        : L"none";
  return std::wstring(root) + L" | " + s.userExtSettingsPath + L" | " + s.userSid;
}

ConsoleUserSettings FindOn(FakeMachine& machine) {
  g_machine = &machine;
  ConsoleUserApi api;
  api.loadLibrary = FakeLoadLibrary;
  api.getProcAddress = FakeGetProcAddress;
  api.openProcess = FakeOpenProcess;
  api.openProcessToken = FakeOpenProcessToken;
  api.getTokenInformation = FakeGetTokenInformation;
  api.isValidSid = FakeIsValidSid;
  const ConsoleUserSettings settings = FindConsoleUser(api);
  g_machine = nullptr;
  return settings;
}

// Runs the discovery on the fake machine and checks that it gave back everything it took.
std::wstring Discover(FakeMachine& machine) {
  const ConsoleUserSettings settings = FindOn(machine);
  for (const auto& name : machine.handleNames) {
    const ScopedHandle still(::OpenEventW(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_FALSE(still.IsValid()) << "a process or token handle was left open";
  }
  EXPECT_TRUE(machine.liveBuffers.empty()) << "the account list was not freed";
  EXPECT_EQ(0, machine.badFrees);
  return Describe(settings);
}

TEST(ConsoleUser, HiveFollowsTheConsoleUsersAccount) {
  struct Case {
    const char* what;
    std::wstring user;
    void (*change)(FakeMachine&);
    ConsoleUserSettings expected;
  };
  const Case cases[] = {
      {"local administrator", kAliceSid, [](FakeMachine&) {}, CurrentUsersHive()},
      {"standard account", kBobSid, [](FakeMachine&) {}, UsersHive(kBobSid)},
      {"domain account", kDomainSid, [](FakeMachine&) {}, UsersHive(kDomainSid)},
      {"enumeration failed", kAliceSid, [](FakeMachine& m) { m.enumFailure = ERROR_ACCESS_DENIED; },
       UsersHive(kAliceSid)},
      {"unresolvable name passed over", kAliceSid,
       [](FakeMachine& m) {
         m.accounts.insert(m.accounts.begin(), {L"ghost", kAliceSid, USER_PRIV_USER, false});
       },
       CurrentUsersHive()},
      {"first account with the SID decides", kAliceSid,
       [](FakeMachine& m) {
         m.accounts.insert(m.accounts.begin(), {L"alice2", kAliceSid, USER_PRIV_USER});
       },
       UsersHive(kAliceSid)},
      // One enumeration of 1024 bytes: when the accounts do not all fit, none is examined, even
      // the administrator that was returned.
      {"more accounts than one enumeration holds", kAliceSid,
       [](FakeMachine& m) {
         for (int i = 0; i < 40; ++i)
           m.accounts.push_back({L"operator" + std::to_wstring(i), kBobSid});
       },
       UsersHive(kAliceSid)},
      // The SID text is needed only for a user that is no administrator.
      {"SID text not made, administrator", kAliceSid,
       [](FakeMachine& m) { m.sidConvertible = false; }, CurrentUsersHive()},
      {"SID text not made, standard",
       kBobSid,
       [](FakeMachine& m) { m.sidConvertible = false; },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine = MachineWithConsoleUser(c.user);
    c.change(machine);
    EXPECT_EQ(Describe(c.expected), Discover(machine));
  }
}

TEST(ConsoleUser, TakesOnlyTheShellOfTheConsoleSession) {
  struct Case {
    const char* what;
    void (*change)(FakeMachine&);
    bool found;
  };
  const Case cases[] = {
      {"nobody at the console", [](FakeMachine& m) { m.consoleSession = kNobodyAtTheConsole; },
       false},
      {"shell only in another session", [](FakeMachine& m) { m.consoleSession = 2; }, false},
      {"shell named in other case", [](FakeMachine& m) { m.processes[4].name = "explorer.exe"; },
       false},
      {"shell that cannot be opened", [](FakeMachine& m) { m.processes[4].openable = false; },
       false},
      {"shell whose modules cannot be read",
       [](FakeMachine& m) { m.processes[4].modulesReadable = false; }, false},
      {"another session's shell listed first",
       [](FakeMachine& m) {
         m.processes.insert(m.processes.begin(), {900, "Explorer.EXE", 2, kAliceSid});
       },
       true},
      {"unreadable shells listed first",
       [](FakeMachine& m) {
         m.processes.insert(m.processes.begin(),
                            {{901, "Explorer.EXE", 1, kAliceSid, false},
                             {902, "Explorer.EXE", 1, kAliceSid, true, false}});
       },
       true},
      {"shell behind more than 1024 processes",
       [](FakeMachine& m) {
         for (DWORD id = 10000; id < 11500; ++id)
           m.processes.insert(m.processes.begin(), {id, "svchost.exe", 0});
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeMachine machine = MachineWithConsoleUser(kBobSid);
    c.change(machine);
    EXPECT_EQ(Describe(c.found ? UsersHive(kBobSid) : ConsoleUserSettings{}), Discover(machine));
  }
}

TEST(ConsoleUser, AnyFailedStepLeavesNoUser) {
  const std::wstring none = Describe({});
  for (const char* library : {"Advapi32.dll", "Netapi32.dll", "Kernel32.dll", "Psapi.dll"}) {
    FakeMachine machine = MachineWithConsoleUser(kAliceSid);
    machine.missingLibrary = library;
    EXPECT_EQ(none, Discover(machine)) << library;
  }
  for (const char* entry :
       {"ConvertSidToStringSidA", "LookupAccountNameA", "EqualSid", "GetModuleBaseNameA",
        "EnumProcesses", "EnumProcessModules", "ProcessIdToSessionId",
        "WTSGetActiveConsoleSessionId", "NetApiBufferFree", "NetUserEnum"}) {
    FakeMachine machine = MachineWithConsoleUser(kAliceSid);
    machine.missingEntry = entry;
    EXPECT_EQ(none, Discover(machine)) << entry;
  }
  for (bool FakeMachine::*step :
       {&FakeMachine::tokenOpens, &FakeMachine::tokenReadable, &FakeMachine::sidValid}) {
    FakeMachine machine = MachineWithConsoleUser(kAliceSid);
    machine.*step = false;
    EXPECT_EQ(none, Discover(machine));
  }
}

// ---- This machine, with a stand-in shell ----

std::wstring OwnUserSid() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const ScopedHandle owner(token);
  BYTE data[512];
  DWORD size = 0;
  LPWSTR text = nullptr;
  if (!::GetTokenInformation(token, TokenUser, data, sizeof(data), &size) ||
      !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(data)->User.Sid, &text)) {
    return {};
  }
  std::wstring sid = text;
  ::LocalFree(text);
  return sid;
}

NET_API_STATUS EnumerateAccountsAsDiscoveryDoes() {
  const ScopedModule netapi(::LoadLibraryW(L"netapi32.dll"));
  const auto enumerate = reinterpret_cast<decltype(&::NetUserEnum)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(netapi.Get(), "NetUserEnum")));
  const auto release = reinterpret_cast<decltype(&::NetApiBufferFree)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(netapi.Get(), "NetApiBufferFree")));
  if (!enumerate || !release) return ERROR_PROC_NOT_FOUND;
  LPBYTE accounts = nullptr;
  DWORD read = 0;
  DWORD total = 0;
  const NET_API_STATUS status =
      enumerate(nullptr, 1, FILTER_NORMAL_ACCOUNT, &accounts, 1024, &read, &total, nullptr);
  if (accounts) release(accounts);
  return status;
}

// Wine's own shell is "explorer.exe", which is not taken; the stand-in "Explorer.EXE" is. Wine's
// NetUserEnum knows no level 1, so the user is never seen as an administrator, and the settings
// go under the user's SID, which is this test's own user.
TEST(ConsoleUserOnThisMachine, FindsTheShellStandInAndItsUser) {
  ASSERT_NE(static_cast<NET_API_STATUS>(NERR_Success), EnumerateAccountsAsDiscoveryDoes())
      << "this Wine enumerates accounts; the outcome then depends on what it says of the user";
  EXPECT_EQ(Describe({}), Describe(FindConsoleUser()));

  auto program = std::filesystem::path(ModuleFilePath(nullptr)).parent_path().parent_path() /
                 L"shell_stand_in" / L"Explorer.EXE";
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &info))
      << program.string();
  const ScopedHandle thread(info.hThread);
  const ScopedHandle shell(info.hProcess);
  const std::unique_ptr<void, void (*)(void*)> stop(shell.Get(),
                                                    [](void* p) { ::TerminateProcess(p, 0); });
  ASSERT_EQ(0u, ::WaitForInputIdle(shell.Get(), 10000));

  const ConsoleUserSettings settings = FindConsoleUser();
  const std::wstring sid = OwnUserSid();
  ASSERT_FALSE(sid.empty());
  EXPECT_EQ(Describe(UsersHive(sid)), Describe(settings));

  // The path reaches this user's own settings.
  const std::wstring probe = L"{0E6A1C7B-5D2F-4B8E-9A31-C4F0D2B7E915}";
  RegKey written;
  ASSERT_EQ(ERROR_SUCCESS, written.Create(HKEY_CURRENT_USER, kExtSettings + probe));
  ASSERT_EQ(ERROR_SUCCESS, written.WriteDword(L"Flags", 0x4b));
  RegKey seen;
  EXPECT_EQ(ERROR_SUCCESS, seen.Open(settings.userRoot, settings.userExtSettingsPath + probe));
  EXPECT_EQ(0x4bu, seen.ReadDword(L"Flags").value_or(0));
  (void)RegKey::DeleteTree(HKEY_CURRENT_USER, kExtSettings + probe);
}

// For a standard user the engine erases the control's stored settings in that user's hive; the
// settings of another control, which have subkeys, stay.
TEST(ConsoleUserWithEngine, ErasesTheControlsSettingsUnderTheDiscoveredRoot) {
  const std::wstring sid = L"S-1-5-21-1111-2222-3333-1077";
  FakeMachine machine = MachineWithConsoleUser(sid);
  machine.accounts.push_back({L"carol", sid, USER_PRIV_USER});
  const ConsoleUserSettings settings = FindOn(machine);
  ASSERT_EQ(HKEY_USERS, settings.userRoot);

  const std::wstring control = L"{6B1F3C2E-3D4A-4E5B-9C8D-7A6B5C4D3E2F}";
  const std::wstring other = L"{2C9E4B71-8F03-4D6A-B5E2-91A7C3D8F046}\\iexplore";
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_USERS, settings.userExtSettingsPath + control));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(L"Flags", 1));
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_USERS, settings.userExtSettingsPath + other));
  key.Close();

  CScriptedCodeDownload service;
  service.SetDefaultScript({E_FAIL, {}});
  const ScopedWindow parent(::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                              nullptr, nullptr, nullptr));
  CInstallEngine engine(service, settings);
  ASSERT_TRUE(engine.Create(parent.Get()));
  engine.SetTarget(control, L"C:\\Kovira\\cabfiles\\Brenvo.cab", L"-1,-1,-1,-1");
  engine.Start();  // the settings are prepared before the request

  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_USERS, settings.userExtSettingsPath + control));
  EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_USERS, settings.userExtSettingsPath + other));
  key.Close();
  engine.Destroy();
  (void)RegKey::DeleteTree(HKEY_USERS, sid);
  (void)RegKey::DeleteTree(
      HKEY_LOCAL_MACHINE,
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\" + control);
}

}  // namespace
