#pragma once

#include <windows.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "common/reg_key.h"

// A subtree of the registry as plain data, to compare with what a test expects. Paths are
// relative to the subtree's root, and paths and value names are lower-cased: the registry
// ignores case and so do the comparisons.
using RegistryValues = std::map<std::wstring, std::wstring>;  // name -> "sz:..." / "dword:..."
using RegistrySnapshot = std::map<std::wstring, RegistryValues>;

inline std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

inline void SnapshotInto(HKEY key, const std::wstring& relative, RegistrySnapshot& snapshot) {
  RegistryValues& values = snapshot[Lower(relative)];
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD name_size = static_cast<DWORD>(std::size(name));
    DWORD type = 0;
    std::vector<BYTE> data(65536);
    DWORD data_size = static_cast<DWORD>(data.size());
    if (::RegEnumValueW(key, i, name, &name_size, nullptr, &type, data.data(), &data_size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::wstring shown;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      shown = L"sz:" + std::wstring(reinterpret_cast<const wchar_t*>(data.data()));
    } else if (type == REG_DWORD && data_size == sizeof(DWORD)) {
      shown = L"dword:" + std::to_wstring(*reinterpret_cast<const DWORD*>(data.data()));
    } else {
      shown = L"type" + std::to_wstring(type);
    }
    values[Lower(name)] = shown;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_size = static_cast<DWORD>(std::size(name));
    if (::RegEnumKeyExW(key, i, name, &name_size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    RegKey child;
    if (child.Open(key, name) == ERROR_SUCCESS) {
      SnapshotInto(child.Get(), relative.empty() ? name : relative + L"\\" + name, snapshot);
    }
  }
}

// Empty when the key does not exist.
inline RegistrySnapshot Snapshot(HKEY root, const std::wstring& path) {
  RegistrySnapshot snapshot;
  RegKey key;
  if (key.Open(root, path) == ERROR_SUCCESS) SnapshotInto(key.Get(), L"", snapshot);
  return snapshot;
}

inline bool KeyExists(HKEY root, const std::wstring& path) {
  RegKey key;
  return key.Open(root, path) == ERROR_SUCCESS;
}
