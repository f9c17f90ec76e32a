#include "velmar/version_check.h"

#include <objbase.h>

#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"

namespace {

// A class id in registry form ({8-4-4-4-12}), or a ProgID the registry knows.
bool NamesAClass(const std::wstring& text) {
  CLSID clsid;
  if (SUCCEEDED(::IIDFromString(text.c_str(), &clsid))) return true;
  return SUCCEEDED(::CLSIDFromProgID(text.c_str(), &clsid));
}

std::optional<std::wstring> Expanded(const std::wstring& text) {
  const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (needed == 0 || needed > CVersionCheck::kMaxPathLength + 1) return std::nullopt;
  std::vector<wchar_t> buffer(needed);
  const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), buffer.data(), needed);
  if (written == 0 || written > needed) return std::nullopt;
  return std::wstring(buffer.data());
}

}  // namespace

bool CVersionCheck::NeedsUpdate(const std::optional<std::wstring>& clsid,
                                const std::optional<std::wstring>& version, UpdateMode mode) const {
  if (!clsid || clsid->empty() || !NamesAClass(*clsid)) return true;
  return NeedsUpdateFor(mode, InstalledVersion(*clsid), version.value_or(std::wstring()));
}

std::optional<std::wstring> CVersionCheck::InstalledVersion(const std::wstring& clsid) const {
  const std::optional<std::wstring> path = ServerPath(clsid);
  if (!path || path->empty()) return std::nullopt;
  const std::optional<std::array<unsigned, 4>> version = FileVersionOf(*path);
  if (!version) return std::nullopt;
  return std::to_wstring((*version)[0]) + L"," + std::to_wstring((*version)[1]) + L"," +
         std::to_wstring((*version)[2]) + L"," + std::to_wstring((*version)[3]);
}

std::optional<std::wstring> CVersionCheck::ServerPath(const std::wstring& clsid) const {
  RegKey key;
  if (key.Open(classesRoot_, L"CLSID\\" + clsid + L"\\InprocServer32", KEY_READ) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.Get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size > (kMaxPathLength + 1) * sizeof(wchar_t)) {
    return std::nullopt;
  }
  std::optional<std::wstring> path = key.ReadString(L"");
  if (!path) return std::nullopt;
  if (type == REG_EXPAND_SZ) path = Expanded(*path);
  if (path && path->size() >= 2 && path->front() == L'"' && path->back() == L'"') {
    *path = path->substr(1, path->size() - 2);
  }
  return path;
}
