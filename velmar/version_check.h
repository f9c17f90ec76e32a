#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "velmar/core/update_rules.h"

// Whether a component the descriptor lists needs the installer, from its registration as an
// in-process server under a classes root (HKEY_CLASSES_ROOT, or a key standing in for it) and the
// version of its server file.
class CVersionCheck {
 public:
  explicit CVersionCheck(HKEY classesRoot = HKEY_CLASSES_ROOT) : classesRoot_(classesRoot) {}

  // The component needs updating when its class id text is missing, empty, neither a class id
  // in registry form nor a ProgID, when no version of its server file can be read, or else as
  // the mode decides from the installed and the required version.
  bool NeedsUpdate(const std::optional<std::wstring>& clsid,
                   const std::optional<std::wstring>& version, UpdateMode mode) const;

  // "a,b,c,d" from the fixed version of the file registered as the class's InprocServer32;
  // nullopt when the class, its path or the file's version information is missing.
  std::optional<std::wstring> InstalledVersion(const std::wstring& clsid) const;

  // The server path as the version is read from it: environment references of a REG_EXPAND_SZ
  // value expanded, and quotes around the whole path taken off, so that a server registered in
  // either form is found instead of needing updating at every visit. nullopt when the class or
  // its value (a text of at most kMaxPathLength characters) is missing.
  std::optional<std::wstring> ServerPath(const std::wstring& clsid) const;

  static constexpr size_t kMaxPathLength = 32767;

 private:
  HKEY classesRoot_;
};
