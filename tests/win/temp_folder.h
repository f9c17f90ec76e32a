#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::wstring& stem = L"kovira test") {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    // Process ids come back: the time keeps a folder an earlier process could not remove (a file
    // still in use) from being taken for ours.
    path_ = std::filesystem::path(temp) /
            (stem + L" " + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { RemoveAll(); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return (path_ / name).wstring(); }

  // Creates a small file (and its folders).
  void Touch(const std::wstring& relative) const {
    const auto file = path_ / relative;
    std::filesystem::create_directories(file.parent_path());
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      ::WriteFile(h, "MSCF", 4, &written, nullptr);
      ::CloseHandle(h);
    }
  }

 private:
  // Through the long-path form: tests build folders deeper than MAX_PATH.
  void RemoveAll() const {
    std::error_code ignored;
    std::filesystem::remove_all(L"\\\\?\\" + path_.wstring(), ignored);
  }

  std::filesystem::path path_;
};
