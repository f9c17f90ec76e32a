#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "common/scoped_owner.h"

// An open registry key. Failed opens leave the object closed; failures are returned, never thrown.
class RegKey {
 public:
  RegKey() = default;

  [[nodiscard]] LONG Open(HKEY root, const std::wstring& path, REGSAM access = KEY_READ);
  [[nodiscard]] LONG Create(HKEY root, const std::wstring& path, REGSAM access = KEY_ALL_ACCESS);
  void Close() { key_.Reset(); }

  HKEY Get() const { return key_.Get(); }
  bool IsOpen() const { return key_.IsValid(); }

  // The value as a 32-bit number; nullopt when it is missing or not four bytes long.
  std::optional<DWORD> ReadDword(const std::wstring& name) const;
  [[nodiscard]] LONG WriteDword(const std::wstring& name, DWORD value);
  std::optional<std::wstring> ReadString(const std::wstring& name) const;
  [[nodiscard]] LONG WriteString(const std::wstring& name, const std::wstring& value);
  // A value that is already gone counts as deleted.
  [[nodiscard]] LONG DeleteValue(const std::wstring& name);
  // The names of the key's values (the default value as an empty name); none when the key
  // cannot be read.
  std::vector<std::wstring> ValueNames() const;

  // Deletes a key with all its subkeys; a key that is already gone counts as deleted.
  [[nodiscard]] static LONG DeleteTree(HKEY root, const std::wstring& path);

 private:
  ScopedOwner<RegKeyTraits> key_;
};
