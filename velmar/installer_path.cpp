#include "velmar/installer_path.h"

#include <windows.h>

#include <string_view>

namespace {
constexpr std::wstring_view kModuleUpper = L"VELMAR.DLL";
constexpr std::wstring_view kInstaller = L"KV3Installer.exe";
}  // namespace

std::wstring InstallerPathFor(const std::wstring& modulePath) {
  std::wstring path = modulePath;
  if (!path.empty()) ::CharUpperBuffW(path.data(), static_cast<DWORD>(path.size()));
  for (size_t at = path.find(kModuleUpper); at != std::wstring::npos;
       at = path.find(kModuleUpper, at + kInstaller.size())) {
    path.replace(at, kModuleUpper.size(), kInstaller);
  }
  return path;
}

std::wstring InstallerPathBesideControl() {
  HMODULE module = ::GetModuleHandleW(L"Velmar.dll");
  if (module == nullptr) return {};
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return InstallerPathFor(std::wstring(path, length));
}
