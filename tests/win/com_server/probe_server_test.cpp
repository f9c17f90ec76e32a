// The probe server DLL, built on the framework, driven through its exports and through COM.
#include "tests/win/com_server/probe_server.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <initguid.h>

#include <filesystem>

#include "common/com_server/registry_rows.h"
#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "probe.h"
#include "tests/win/com_server/registry_snapshot.h"

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(WINAPI*)();

std::wstring ProbePath() {
  return (std::filesystem::path(ModuleFilePath(nullptr)).parent_path() / L"com_server_probe.dll")
      .wstring();
}

std::wstring Text(REFGUID guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return Lower(text);
}

const std::wstring kClsid = Text(__uuidof(ComServerProbe));
const std::wstring kLibid = Text(LIBID_KoviraComServerProbeLib);
const std::wstring kIid = Text(__uuidof(IComServerProbe));

// The probe DLL, loaded by the test, with its four exports.
struct ProbeDll {
  ScopedModule module{::LoadLibraryW(ProbePath().c_str())};
  GetClassObjectFn get_class_object = nullptr;
  NoArgumentFn can_unload_now = nullptr;
  NoArgumentFn register_server = nullptr;
  NoArgumentFn unregister_server = nullptr;

  ProbeDll() {
    if (!module) return;
    get_class_object = reinterpret_cast<GetClassObjectFn>(
        (void*)::GetProcAddress(module.Get(), "DllGetClassObject"));
    can_unload_now =
        reinterpret_cast<NoArgumentFn>((void*)::GetProcAddress(module.Get(), "DllCanUnloadNow"));
    register_server =
        reinterpret_cast<NoArgumentFn>((void*)::GetProcAddress(module.Get(), "DllRegisterServer"));
    unregister_server = reinterpret_cast<NoArgumentFn>(
        (void*)::GetProcAddress(module.Get(), "DllUnregisterServer"));
  }
  bool Complete() const {
    return get_class_object && can_unload_now && register_server && unregister_server;
  }
  std::wstring Path() const { return Lower(ModuleFilePath(module.Get())); }
};

// HKEY_CLASSES_ROOT of this process redirected into a fresh key under HKCU, so registration
// rows never reach the prefix's real class store.
class ClassesRootOverride {
 public:
  ClassesRootOverride()
      : path_(L"Software\\Kovira Tests\\ComServer Classes " +
              std::to_wstring(::GetCurrentProcessId())) {
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
    if (key_.Create(HKEY_CURRENT_USER, path_) == ERROR_SUCCESS) {
      result_ = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, key_.Get());
    }
  }
  ~ClassesRootOverride() {
    ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    key_.Close();
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
  }
  bool Active() const { return result_ == ERROR_SUCCESS; }
  RegistrySnapshot Tree() const { return Snapshot(HKEY_CURRENT_USER, path_); }
  HKEY Key() const { return key_.Get(); }

 private:
  std::wstring path_;
  RegKey key_;
  LONG result_ = ERROR_INVALID_FUNCTION;
};

void RemoveUserKeys() {
  (void)RegKey::DeleteTree(HKEY_CURRENT_USER, PROBE_USER_KEY);
  (void)RegKey::DeleteTree(HKEY_CURRENT_USER, PROBE_SHARED_USER_KEY);
}

class ComServerProbeDll : public testing::Test {
 protected:
  void SetUp() override {
    RemoveUserKeys();
    ASSERT_TRUE(override_.Active());
    ASSERT_TRUE(dll_.module) << "cannot load " << testing::PrintToString(ProbePath());
    ASSERT_TRUE(dll_.Complete());
  }
  void TearDown() override {
    if (dll_.can_unload_now) {
      EXPECT_EQ(dll_.can_unload_now(), S_OK);
    }
    RemoveUserKeys();
  }

  ComPtr<IClassFactory> Factory() {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(dll_.get_class_object(__uuidof(ComServerProbe), IID_PPV_ARGS(&factory)), S_OK);
    return factory;
  }

  ClassesRootOverride override_;
  ProbeDll dll_;
};

// Drops the subtrees a type library registration writes, which oleaut32 lays out as it likes.
RegistrySnapshot WithoutTypeLibraryKeys(RegistrySnapshot tree) {
  std::erase_if(tree, [](const auto& entry) {
    return entry.first.starts_with(L"typelib") || entry.first.starts_with(L"interface");
  });
  return tree;
}

}  // namespace

TEST_F(ComServerProbeDll, ClassesRootOverrideCatchesWrites) {
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, L"Kovira.OverrideCheck"), ERROR_SUCCESS);
  key.Close();
  EXPECT_TRUE(KeyExists(override_.Key(), L"Kovira.OverrideCheck"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Kovira.OverrideCheck"));
}

TEST_F(ComServerProbeDll, RegistersExactlyItsRows) {
  ASSERT_EQ(dll_.register_server(), S_OK);
  const std::wstring clsid_key = L"clsid\\" + kClsid;
  const std::wstring description = L"sz:" PROBE_DESCRIPTION;
  const RegistrySnapshot expected = {
      {L"", {}},
      {L"clsid", {}},
      {clsid_key, {{L"", description}}},
      {clsid_key + L"\\inprocserver32",
       {{L"", L"sz:" + dll_.Path()}, {L"threadingmodel", L"sz:apartment"}}},
      {clsid_key + L"\\progid", {{L"", L"sz:kovira.comserverprobe.1"}}},
      {clsid_key + L"\\versionindependentprogid", {{L"", L"sz:kovira.comserverprobe"}}},
      {clsid_key + L"\\typelib", {{L"", L"sz:" + kLibid}}},
      {clsid_key + L"\\control", {}},
      {L"kovira.comserverprobe.1", {{L"", description}}},
      {L"kovira.comserverprobe.1\\clsid", {{L"", L"sz:" + kClsid}}},
      {L"kovira.comserverprobe", {{L"", description}}},
      {L"kovira.comserverprobe\\curver", {{L"", L"sz:kovira.comserverprobe.1"}}},
      {L"kovira.comserverprobe.shared", {{L"probe", L"sz:" + kClsid}}},
  };
  // Values are compared lower-cased; the description's case is checked separately below.
  RegistrySnapshot tree = WithoutTypeLibraryKeys(override_.Tree());
  for (auto& [key, values] : tree) {
    for (auto& [name, value] : values) value = Lower(value);
  }
  RegistrySnapshot lowered = expected;
  for (auto& [key, values] : lowered) {
    for (auto& [name, value] : values) value = Lower(value);
  }
  EXPECT_EQ(tree, lowered);
  RegKey key;
  ASSERT_EQ(key.Open(override_.Key(), L"CLSID\\" + GuidText(__uuidof(ComServerProbe))),
            ERROR_SUCCESS);
  EXPECT_EQ(key.ReadString(L""), std::wstring(PROBE_DESCRIPTION));

  // The type library, registered with the DLL's path, and its interface.
  const RegistrySnapshot all = override_.Tree();
  const auto win32 = all.find(L"typelib\\" + kLibid + L"\\1.0\\0\\win32");
  ASSERT_NE(win32, all.end());
  EXPECT_EQ(Lower(win32->second.at(L"")), L"sz:" + dll_.Path());
  EXPECT_TRUE(all.contains(L"interface\\" + kIid));

  // The rows under HKCU, with their DWORD type.
  EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, PROBE_USER_KEY),
            (RegistrySnapshot{{L"", {{L"installed", L"dword:1"}}}}));
  EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, PROBE_SHARED_USER_KEY),
            (RegistrySnapshot{{L"", {{L"probe", L"dword:42"}}}}));
  EXPECT_EQ(dll_.unregister_server(), S_OK);
}

TEST_F(ComServerProbeDll, UnregisterRemovesOwnedKeysAndKeepsSharedOnes) {
  // Others' registrations beside ours.
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, L"CLSID\\{00000000-0000-0000-0000-0000000000AA}"),
            ERROR_SUCCESS);
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, PROBE_SHARED_CLASS_KEY), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteString(L"", L"someone else's"), ERROR_SUCCESS);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, PROBE_SHARED_USER_KEY), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteDword(L"Theirs", 3), ERROR_SUCCESS);
  key.Close();
  const RegistrySnapshot before = override_.Tree();

  ASSERT_EQ(dll_.register_server(), S_OK);
  // Keys someone added under our own class key go with it.
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid + L"\\Implemented Categories\\{x}"),
            ERROR_SUCCESS);
  key.Close();
  ASSERT_EQ(dll_.unregister_server(), S_OK);

  EXPECT_EQ(WithoutTypeLibraryKeys(override_.Tree()), before);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid + L"\\1.0"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + kIid));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, PROBE_USER_KEY));
  EXPECT_EQ(Snapshot(HKEY_CURRENT_USER, PROBE_SHARED_USER_KEY),
            (RegistrySnapshot{{L"", {{L"theirs", L"dword:3"}}}}));

  // Twice is fine, and so is never having registered.
  EXPECT_EQ(dll_.unregister_server(), S_OK);
  EXPECT_EQ(WithoutTypeLibraryKeys(override_.Tree()), before);
}

TEST_F(ComServerProbeDll, UnregisterWithoutRegistrationSucceeds) {
  EXPECT_EQ(dll_.unregister_server(), S_OK);
  EXPECT_EQ(override_.Tree(), (RegistrySnapshot{{L"", {}}}));
}

TEST_F(ComServerProbeDll, ClassObjectRefusesAggregationAndUnknownClasses) {
  void* object = reinterpret_cast<void*>(0xdeadbeef);
  const CLSID unknown = {
      0x5d0c8b0e, 0x3f5a, 0x4c1e, {0x9b, 0x7d, 0x2a, 0x6e, 0x1f, 0x4c, 0x8d, 0x3f}};
  EXPECT_EQ(dll_.get_class_object(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);

  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ComPtr<IComServerProbe> probe;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&probe)), S_OK);
  LONG answer = 0;
  EXPECT_EQ(probe->Answer(&answer), S_OK);
  EXPECT_EQ(answer, PROBE_ANSWER);

  object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(factory->CreateInstance(probe.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComServerProbeDll, CanUnloadNowFollowsObjectsAndLocks) {
  EXPECT_EQ(dll_.can_unload_now(), S_OK);
  ComPtr<IClassFactory> factory = Factory();
  ComPtr<IComServerProbe> probe;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&probe)), S_OK);
  factory.Reset();
  EXPECT_EQ(dll_.can_unload_now(), S_FALSE);
  probe.Reset();
  EXPECT_EQ(dll_.can_unload_now(), S_OK);

  factory = Factory();
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(dll_.can_unload_now(), S_FALSE);
  factory = Factory();
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(dll_.can_unload_now(), S_OK);
}

// Through COM itself, so registration goes to the prefix's real class store and is taken back.
TEST(ComServerProbeThroughCom, LoadsThroughRegistrationAndUnloadsWhenIdle) {
  RemoveUserKeys();
  // Takes the registration back even when an assertion ends the test early.
  struct Cleanup {
    ~Cleanup() {
      ProbeDll dll;
      if (dll.Complete()) (void)dll.unregister_server();
      (void)RegKey::DeleteTree(HKEY_CLASSES_ROOT, PROBE_SHARED_CLASS_KEY);
      RemoveUserKeys();
    }
  } cleanup;
  {
    ProbeDll dll;
    ASSERT_TRUE(dll.Complete());
    ASSERT_EQ(dll.register_server(), S_OK);
  }
  ASSERT_EQ(::GetModuleHandleW(ProbePath().c_str()), nullptr);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(::CoGetClassObject(__uuidof(ComServerProbe), CLSCTX_INPROC_SERVER, nullptr,
                               IID_PPV_ARGS(&factory)),
            S_OK);
  EXPECT_NE(::GetModuleHandleW(ProbePath().c_str()), nullptr);
  ComPtr<IComServerProbe> probe;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&probe)), S_OK);
  factory.Reset();
  ComPtr<IComServerProbe> created;
  ASSERT_EQ(::CoCreateInstance(__uuidof(ComServerProbe), nullptr, CLSCTX_INPROC_SERVER,
                               IID_PPV_ARGS(&created)),
            S_OK);
  LONG answer = 0;
  EXPECT_EQ(created->Answer(&answer), S_OK);
  EXPECT_EQ(answer, PROBE_ANSWER);

  // A live object keeps it loaded.
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_NE(::GetModuleHandleW(ProbePath().c_str()), nullptr);
  probe.Reset();
  created.Reset();
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::CoFreeUnusedLibrariesEx(0, 0);
  EXPECT_EQ(::GetModuleHandleW(ProbePath().c_str()), nullptr);

  ProbeDll dll;
  ASSERT_TRUE(dll.Complete());
  EXPECT_EQ(dll.unregister_server(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, PROBE_PROGID));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibid));
}
