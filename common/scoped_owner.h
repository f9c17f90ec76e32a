#pragma once

#include <windows.h>

#include <objbase.h>

#include <cassert>
#include <utility>

// Move-only owner of one Windows resource. Traits supply the null value and the release call.
// Releasing keeps GetLastError intact, so an owner going out of scope never hides the error of
// the call that failed just before.
template <typename Traits>
class ScopedOwner {
 public:
  using Handle = typename Traits::Handle;

  ScopedOwner() = default;
  explicit ScopedOwner(Handle handle) : handle_(handle) {}
  ScopedOwner(ScopedOwner&& other) noexcept : handle_(other.Take()) {}
  ScopedOwner& operator=(ScopedOwner&& other) noexcept {
    if (this != &other) Reset(other.Take());
    return *this;
  }
  ScopedOwner(const ScopedOwner&) = delete;
  ScopedOwner& operator=(const ScopedOwner&) = delete;
  ~ScopedOwner() { Reset(); }

  Handle Get() const { return handle_; }
  bool IsValid() const { return handle_ != Traits::Null(); }
  explicit operator bool() const { return IsValid(); }

  void Reset(Handle handle = Traits::Null()) {
    if (handle_ != Traits::Null()) {
      const DWORD error = ::GetLastError();
      Traits::Close(handle_);
      ::SetLastError(error);
    }
    handle_ = handle;
  }

  [[nodiscard]] Handle Take() { return std::exchange(handle_, Traits::Null()); }

  // For out-parameters; the owner must be empty.
  Handle* Receive() {
    assert(!IsValid());
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Null();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
// CreateFile reports failure with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct WindowTraits {
  using Handle = HWND;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
struct GdiObjectTraits {
  using Handle = HGDIOBJ;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
// A memory device context (CreateCompatibleDC).
struct DcTraits {
  using Handle = HDC;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
struct CoTaskMemTraits {
  using Handle = void*;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::CoTaskMemFree(h); }
};

using ScopedHandle = ScopedOwner<KernelHandleTraits>;
using ScopedFile = ScopedOwner<FileHandleTraits>;
using ScopedFindHandle = ScopedOwner<FindHandleTraits>;
using ScopedModule = ScopedOwner<ModuleTraits>;
using ScopedWindow = ScopedOwner<WindowTraits>;
using ScopedGdiObject = ScopedOwner<GdiObjectTraits>;
using ScopedDc = ScopedOwner<DcTraits>;
using ScopedCoTaskMem = ScopedOwner<CoTaskMemTraits>;
