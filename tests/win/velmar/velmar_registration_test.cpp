// regsvr32 on Velmar.dll, as an installation does it: exactly the class's keys and the type
// library; /u takes them back and leaves the CLSID key.
#include <gtest/gtest.h>

#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <filesystem>
#include <string>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "tests/win/com_server/control_registration.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tools/control_host/control_host.h"

namespace {

const ControlClass kVelmarClass = {
    L"{92928D91-53D8-4861-835C-619E5082D3D7}",
    L"{DD7B2F51-4EC6-484C-81B7-6550DF7F0F48}",
    {0xdd7b2f51, 0x4ec6, 0x484c, {0x81, 0xb7, 0x65, 0x50, 0xdf, 0x7f, 0x0f, 0x48}},
    L"Velmar.Velmar",
    L"Velmar Class"};

TEST(VelmarRegistration, Regsvr32WritesExactlyTheListedKeysAndUnregistersThem) {
  TempFolder folder(L"velmar registration");
  const std::wstring module = folder / L"Velmar.dll";
  const auto built = std::filesystem::path(InBuildTree(L"bin/Velmar.dll"));
  ASSERT_TRUE(std::filesystem::copy_file(built, module)) << built;

  ASSERT_EQ(RunRegsvr32(L"\"" + module + L"\""), 0u);
  ExpectRegistered(kVelmarClass, module);
  EXPECT_TRUE(ClassesKeyExists(L"Interface\\{8F5A3C5D-56F7-45D6-AE50-887ACD3F4C42}"));
  EXPECT_TRUE(ClassesKeyExists(L"Interface\\{7E270485-64EC-4861-9DFA-17BA8424BED7}"));

  // A second registration replaces the class key whole: a stray subkey does not survive.
  ASSERT_EQ(RegKey().Create(HKEY_CLASSES_ROOT, kVelmarClass.ClassKey() + L"\\Stray", KEY_WRITE),
            ERROR_SUCCESS);
  ASSERT_EQ(RunRegsvr32(L"\"" + module + L"\""), 0u);
  EXPECT_EQ(Snapshot(HKEY_CLASSES_ROOT, kVelmarClass.ClassKey().c_str()),
            ExpectedClassKey(kVelmarClass, module));

  ASSERT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u);
  ExpectUnregistered(kVelmarClass);
  EXPECT_TRUE(ClassesKeyExists(L"CLSID"));
  EXPECT_FALSE(ClassesKeyExists(L"Interface\\{8F5A3C5D-56F7-45D6-AE50-887ACD3F4C42}"));
  // Unregistering what is gone already succeeds.
  EXPECT_EQ(RunRegsvr32(L"/u \"" + module + L"\""), 0u);
}

TEST(VelmarRegistration, ModuleUnloadsWhenItsLastObjectGoes) {
  const auto built = std::filesystem::path(InBuildTree(L"bin/Velmar.dll"));
  ScopedModule module(::LoadLibraryW(built.c_str()));
  ASSERT_TRUE(module.IsValid());
  using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFn = HRESULT(WINAPI*)();
  const auto get_class_object = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllGetClassObject")));
  const auto can_unload = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(::GetProcAddress(module.Get(), "DllCanUnloadNow")));
  ASSERT_NE(get_class_object, nullptr);
  ASSERT_NE(can_unload, nullptr);
  const CLSID velmar = {
      0x92928d91, 0x53d8, 0x4861, {0x83, 0x5c, 0x61, 0x9e, 0x50, 0x82, 0xd3, 0xd7}};
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  ASSERT_EQ(get_class_object(velmar, IID_PPV_ARGS(&factory)), S_OK);
  Microsoft::WRL::ComPtr<IDispatch> control;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&control)), S_OK);
  factory.Reset();
  EXPECT_EQ(can_unload(), S_FALSE);
  Microsoft::WRL::ComPtr<IConnectionPointContainer> points;
  ASSERT_EQ(control.As(&points), S_OK);
  control.Reset();
  EXPECT_EQ(can_unload(), S_FALSE) << "any interface keeps the object";
  points.Reset();
  EXPECT_EQ(can_unload(), S_OK);
}

// Windows keeps a DLL's window classes after FreeLibrary; a class left behind would send the
// next control's messages into unloaded code.
TEST(VelmarRegistration, UnloadingTakesTheWindowClassAlong) {
  HINSTANCE unloaded = nullptr;
  {
    CControlHost host;
    ASSERT_EQ(host.Create(InBuildTree(L"bin/Velmar.dll")), S_OK) << host.Error();
    ASSERT_EQ(host.Activate(), S_OK) << host.Error();
    unloaded = ::GetModuleHandleW(L"Velmar.dll");
    ASSERT_NE(unloaded, nullptr);
    WNDCLASSEXW registered = {sizeof(registered)};
    EXPECT_TRUE(::GetClassInfoExW(unloaded, L"KoviraVelmarControl", &registered));
    host.Close();  // frees the DLL: nothing holds its objects
  }
  ASSERT_EQ(::GetModuleHandleW(L"Velmar.dll"), nullptr);
  WNDCLASSEXW left = {sizeof(left)};
  EXPECT_FALSE(::GetClassInfoExW(unloaded, L"KoviraVelmarControl", &left));

  CControlHost again;
  ASSERT_EQ(again.Create(InBuildTree(L"bin/Velmar.dll")), S_OK) << again.Error();
  EXPECT_EQ(again.Activate(), S_OK) << again.Error();
  again.Close();
}

}  // namespace
