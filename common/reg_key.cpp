#include "common/reg_key.h"

#include <vector>

LONG RegKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
  key_.Reset();
  return ::RegOpenKeyExW(root, path.c_str(), 0, access, key_.Receive());
}

LONG RegKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
  key_.Reset();
  return ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                           key_.Receive(), nullptr);
}

std::optional<DWORD> RegKey::ReadDword(const std::wstring& name) const {
  DWORD value = 0;
  DWORD size = sizeof(value);
  DWORD type = 0;
  if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
      size != sizeof(value)) {
    return std::nullopt;
  }
  return value;
}

LONG RegKey::WriteDword(const std::wstring& name, DWORD value) {
  return ::RegSetValueExW(key_.Get(), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

std::optional<std::wstring> RegKey::ReadString(const std::wstring& name) const {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(buffer.data());  // stops at the terminator, stored or added
}

LONG RegKey::WriteString(const std::wstring& name, const std::wstring& value) {
  return ::RegSetValueExW(key_.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG RegKey::DeleteValue(const std::wstring& name) {
  const LONG result = ::RegDeleteValueW(key_.Get(), name.c_str());
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

std::vector<std::wstring> RegKey::ValueNames() const {
  std::vector<std::wstring> names;
  DWORD count = 0;
  DWORD longest = 0;
  if (::RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::vector<wchar_t> name(longest + 1);
  for (DWORD i = 0; i < count; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (::RegEnumValueW(key_.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;  // changed underneath: what was read stands
    }
    names.emplace_back(name.data(), length);
  }
  return names;
}

LONG RegKey::DeleteTree(HKEY root, const std::wstring& path) {
  const LONG result = ::RegDeleteTreeW(root, path.c_str());
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}
