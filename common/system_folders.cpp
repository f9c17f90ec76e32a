#include "common/system_folders.h"

#include <windows.h>

#include <vector>

namespace {

// Calls that take a buffer and answer the length they need (with the terminator) when it is too
// small, or the length written (without it).
template <typename Call>
std::wstring AskForPath(Call call) {
  std::vector<wchar_t> path(MAX_PATH + 1);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const UINT written = call(path.data(), static_cast<UINT>(path.size()));
    if (written == 0) return {};
    if (written < path.size()) return std::wstring(path.data(), written);
    path.resize(written + 1);
  }
  return {};
}

}  // namespace

std::wstring WindowsFolder() {
  return AskForPath(
      [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
}

std::wstring SystemFolder() {
  return AskForPath([](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
}

std::wstring TempFolder() {
  return AskForPath([](wchar_t* buffer, UINT size) {
    return static_cast<UINT>(::GetTempPathW(static_cast<DWORD>(size), buffer));
  });
}

std::wstring StoreFolderIn(const std::wstring& windows_folder) {
  return windows_folder + L"\\Downloaded Program Files";
}
