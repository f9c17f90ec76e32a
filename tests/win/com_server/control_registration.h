#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <oleauto.h>

#include <string>

#include "common/scoped_bstr.h"
#include "common/scoped_owner.h"
#include "tests/win/com_server/registry_snapshot.h"

// What regsvr32 leaves in the registry for one of our control classes, checked whole.
struct ControlClass {
  std::wstring clsid;   // "{...}"
  std::wstring libid;   // "{...}"
  GUID libGuid;         // the same library id
  std::wstring progId;  // version-independent
  std::wstring name;    // display name
  std::wstring ClassKey() const { return L"CLSID\\" + clsid; }
};

// regsvr32 /s with arguments; its exit code, ~0u when it could not run.
inline DWORD RunRegsvr32(const std::wstring& arguments) {
  std::wstring command = L"regsvr32.exe /s " + arguments;
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return ~0u;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread(process.hThread);
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = ~0u;
  ::GetExitCodeProcess(process.hProcess, &code);
  return code;
}

inline bool ClassesKeyExists(const std::wstring& path) {
  return !Snapshot(HKEY_CLASSES_ROOT, path.c_str()).empty();
}

// The class key as the registration writes it for module.
inline RegistrySnapshot ExpectedClassKey(const ControlClass& c, const std::wstring& module) {
  return {{L"", {{L"", L"sz:" + c.name}}},
          {L"progid", {{L"", L"sz:" + c.progId + L".1"}}},
          {L"versionindependentprogid", {{L"", L"sz:" + c.progId}}},
          {L"programmable", {}},
          {L"inprocserver32", {{L"", L"sz:" + module}, {L"threadingmodel", L"sz:Apartment"}}},
          {L"control", {}},
          {L"insertable", {}},
          {L"toolboxbitmap32", {{L"", L"sz:" + module + L", 101"}}},
          {L"miscstatus", {{L"", L"sz:0"}}},
          {L"miscstatus\\1", {{L"", L"sz:131473"}}},
          {L"typelib", {{L"", L"sz:" + c.libid}}},
          {L"version", {{L"", L"sz:1.0"}}}};
}

// The class key, both ProgIDs and the type library, registered from module.
inline void ExpectRegistered(const ControlClass& c, const std::wstring& module) {
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, c.ClassKey().c_str()), ExpectedClassKey(c, module));
  const RegistrySnapshot progid = {{L"", {{L"", L"sz:" + c.name}}},
                                   {L"clsid", {{L"", L"sz:" + c.clsid}}}};
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, (c.progId + L".1").c_str()), progid);
  RegistrySnapshot versionless = progid;
  versionless[L"curver"] = {{L"", L"sz:" + c.progId + L".1"}};
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, c.progId.c_str()), versionless);
  ScopedBstr library_path;
  ASSERT_EQ(::QueryPathOfRegTypeLib(c.libGuid, 1, 0, 0x409, library_path.Receive()), S_OK);
  EXPECT_EQ(Lower(library_path.Get()), Lower(module));
}

// None of it is left.
inline void ExpectUnregistered(const ControlClass& c) {
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, c.ClassKey().c_str()).empty());
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, (c.progId + L".1").c_str()).empty());
  EXPECT_TRUE(Snapshot(HKEY_CLASSES_ROOT, c.progId.c_str()).empty());
  ScopedBstr library_path;
  EXPECT_NE(::QueryPathOfRegTypeLib(c.libGuid, 1, 0, 0x409, library_path.Receive()), S_OK);
}
