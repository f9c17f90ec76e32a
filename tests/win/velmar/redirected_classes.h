#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/reg_key.h"

// A registry key standing in for HKEY_CLASSES_ROOT, removed with everything below it at the end.
class RedirectedClasses {
 public:
  RedirectedClasses()
      : path_(L"Software\\KoviraTests\\Classes " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(::GetTickCount())) {
    (void)root_.Create(HKEY_CURRENT_USER, path_);
  }
  ~RedirectedClasses() {
    root_.Close();
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
  }
  RedirectedClasses(const RedirectedClasses&) = delete;
  RedirectedClasses& operator=(const RedirectedClasses&) = delete;

  HKEY Root() const { return root_.Get(); }
  // Registers clsid's in-process server as value, stored with the given type.
  void Register(const std::wstring& clsid, const std::wstring& value, DWORD type = REG_SZ) {
    RegKey key;
    ASSERT_EQ(key.Create(root_.Get(), L"CLSID\\" + clsid + L"\\InprocServer32"), ERROR_SUCCESS);
    ASSERT_EQ(
        ::RegSetValueExW(key.Get(), nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
  }

 private:
  std::wstring path_;
  RegKey root_;
};
