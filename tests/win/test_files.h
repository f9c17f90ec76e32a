#pragma once

// Where tests find what the build made, and a reference count seen from outside.
#include <windows.h>

#include <unknwn.h>

#include <filesystem>
#include <string>

#include "common/module_info.h"

// A file beside the test program: the test DLLs built with it.
inline std::wstring BesideTestProgram(const std::wstring& name) {
  return (std::filesystem::path(ModuleFilePath(nullptr)).parent_path() / name).wstring();
}

// A file of the build tree, e.g. L"bin/Velmar.dll".
inline std::wstring InBuildTree(const std::wstring& relative) {
  return (std::filesystem::path(ModuleFilePath(nullptr)).parent_path().parent_path() / relative)
      .make_preferred()
      .wstring();
}

// The object's reference count, as AddRef then Release report it.
inline ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
