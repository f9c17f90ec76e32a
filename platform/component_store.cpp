#include "platform/component_store.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "common/win_error.h"
#include "platform/cab_extractor.h"

namespace {

using Action = CComponentStore::Placement::Action;

// Another install, or a file, may hold the next CONFLICT.n name; this many are tried.
constexpr int kConflictAttempts = 16;

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A name that no other file in the folder has, for staged copies and backups.
std::wstring TemporaryPath(const std::wstring& folder, const wchar_t* prefix) {
  wchar_t path[MAX_PATH] = {};
  if (::GetTempFileNameW(folder.c_str(), prefix, 0, path) == 0) return {};
  return path;  // created empty, so no one else takes the name
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// The path of an existing file or folder with every part in its long form ("BREN~B44.DLL" is
// "BrenvoRes.dll"); the path as given when the system cannot say.
std::wstring LongPathOf(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        ::GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) break;
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(length);
  }
  return path;
}

// The owner recorded for a file, if any.
std::optional<std::wstring> UsageOwner(const std::wstring& path) {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kModuleUsageKey + CComponentStore::ModuleUsageKey(path)) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return key.ReadString(L".Owner").value_or(L"");
}

// True only when both files have a version and the incoming one is the newer. Read from the files
// themselves: a system DLL's name must not fetch the loaded module's version.
bool IsNewer(const std::wstring& incoming, const std::optional<CComponentStore::Version>& declared,
             const std::wstring& existing) {
  auto version = FileVersionInImage(incoming);
  if (!version) version = declared;
  if (!version) return false;
  const auto existingVersion = FileVersionInImage(existing);
  return existingVersion && *version > *existingVersion;
}

// The decimal number after "CONFLICT." without leading zeros; empty when the name has none.
std::wstring ConflictNumber(std::wstring_view name) {
  constexpr std::wstring_view kPrefix = L"CONFLICT.";
  if (name.size() <= kPrefix.size() || !StartsWithNoCase(name, kPrefix)) return {};
  name.remove_prefix(kPrefix.size());
  if (name.find_first_not_of(L"0123456789") != std::wstring_view::npos) return {};
  return std::wstring(name.substr(std::min(name.find_first_not_of(L'0'), name.size() - 1)));
}

// Numbers are kept as decimal text: no folder name can make them wrap.
bool IsGreater(const std::wstring& a, const std::wstring& b) {
  return a.size() != b.size() ? a.size() > b.size() : a > b;
}

void Increment(std::wstring& number) {
  for (auto digit = number.rbegin(); digit != number.rend(); ++digit) {
    if (*digit != L'9') {
      ++*digit;
      return;
    }
    *digit = L'0';
  }
  number.insert(number.begin(), L'1');
}

// Makes a CONFLICT.n folder numbered after the highest folder of that kind in the cache.
HRESULT MakeConflictFolder(const std::wstring& cache, std::wstring& folder) {
  std::wstring highest = L"0";
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileExW((cache + L"\\CONFLICT.*").c_str(), FindExInfoBasic,
                                           &data, FindExSearchLimitToDirectories, nullptr, 0));
  if (find) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      const std::wstring number = ConflictNumber(data.cFileName);
      if (!number.empty() && IsGreater(number, highest)) highest = number;
    } while (::FindNextFileW(find.Get(), &data));
  }
  for (int attempt = 0; attempt < kConflictAttempts; ++attempt) {
    Increment(highest);
    folder = cache + L"\\CONFLICT." + highest;
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return S_OK;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  const HRESULT hr = HResultFromLastError();
  folder.clear();
  return hr;
}

void DeleteNowOrAtRestart(const std::wstring& path) {
  // A module still loaded somewhere cannot go yet; a leftover temporary file harms nobody.
  if (!::DeleteFileW(path.c_str()))
    (void)::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Takes a file of the component out of the way: a loaded module cannot be deleted, but it can be
// renamed. False when it stays where it is.
bool SetAside(const std::wstring& path) {
  if (::DeleteFileW(path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) return true;
  const std::wstring aside = TemporaryPath(FolderOf(path), L"~kd");
  if (aside.empty()) return false;
  if (!::MoveFileExW(path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileW(aside.c_str());
    ::SetLastError(error);
    return false;
  }
  DeleteNowOrAtRestart(aside);
  return true;
}

// For what cannot be undone now: the restart does it, and the failure says so.
HRESULT AtRestart(const std::wstring& from, const std::wstring& to) {
  const HRESULT now = HResultFromLastError();
  const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING);
  return ::MoveFileExW(from.c_str(), to.empty() ? nullptr : to.c_str(), flags)
             ? kErrorRollbackAtRestart
             : now;
}

// Puts the original back in place of the component's file (if that got there). The backup is
// kept until the original is back.
HRESULT RestoreOriginal(CComponentStore::Placement& p) {
  const bool cleared = !p.staged.empty() || SetAside(p.target);
  if (cleared && ::MoveFileExW(p.backup.c_str(), p.target.c_str(), 0)) {
    p.backup.clear();
    return S_OK;
  }
  p.restorePending = true;
  return AtRestart(p.backup, p.target);
}

// What must still hold when the files go in.
HRESULT CheckTarget(const CComponentStore::Placement& p) {
  switch (p.action) {
    case Action::kCreate:
      // A file that appeared since planning is not ours to overwrite.
      return Exists(p.target) ? HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) : S_OK;
    case Action::kKeep:
      return Exists(p.target) ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case Action::kReplace: {
      // One held open by a process fails the whole component before anything changes.
      ScopedFile probe(::CreateFileW(p.target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
      return probe ? S_OK : HResultFromLastError();
    }
  }
  return E_UNEXPECTED;
}

}  // namespace

CComponentStore::CComponentStore() : CComponentStore(WindowsFolder(), SystemFolder()) {}

// Targets are built on long folder names once and for all: resolving a path costs a folder scan.
CComponentStore::CComponentStore(std::wstring windowsFolder, std::wstring systemFolder)
    : windowsFolder_(LongPathOf(windowsFolder)),
      systemFolder_(LongPathOf(systemFolder)),
      cacheFolder_(StoreFolderIn(windowsFolder_)) {}

std::wstring CComponentStore::FolderFor(int destDir) const {
  return destDir == 10 ? windowsFolder_ : destDir == 11 ? systemFolder_ : cacheFolder_;
}

std::wstring CComponentStore::ModuleUsageKey(const std::wstring& path) {
  std::wstring key = path;
  std::replace(key.begin(), key.end(), L'\\', L'/');
  return key;
}

HRESULT CComponentStore::Plan(const std::wstring& clsid, const std::wstring& name, int destDir,
                              const std::wstring& source,
                              const std::optional<Version>& declaredVersion,
                              std::wstring& conflictFolder, Placement& placement) {
  const std::wstring folder = FolderFor(destDir);
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return HResultFromLastError();
  }
  placement = Placement{};
  placement.source = source;
  placement.target = folder + L"\\" + name;
  const DWORD attributes = ::GetFileAttributesW(placement.target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return S_OK;  // a new file

  // Opening "BREN~B44.DLL" opens "BrenvoRes.dll": a name must be the file's own. Short names the
  // system makes all have a tilde (one set by hand needs an administrator).
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      (name.find(L'~') != std::wstring::npos &&
       !EqualsNoCase(NameOf(LongPathOf(placement.target)), name))) {
    return kErrorUnsafeMemberName;
  }
  const auto owner = UsageOwner(placement.target);
  if (owner && EqualsNoCase(*owner, clsid)) {
    placement.action = Action::kReplace;
  } else if (destDir == 0 && owner && !owner->empty() && !EqualsNoCase(*owner, L"Unknown")) {
    // Another component's file stays; ours go to a conflict folder of this install.
    if (conflictFolder.empty()) {
      const HRESULT hr = MakeConflictFolder(FolderOf(placement.target), conflictFolder);
      if (FAILED(hr)) return hr;
    }
    placement.conflictFolder = conflictFolder;
    placement.target = conflictFolder + L"\\" + name;
  } else {
    placement.action =
        IsNewer(source, declaredVersion, placement.target) ? Action::kReplace : Action::kKeep;
  }
  return S_OK;
}

HRESULT CComponentStore::Stage(Placement& placement) {
  if (placement.action == Action::kKeep) return S_OK;
  placement.staged = TemporaryPath(FolderOf(placement.target), L"~kv");
  if (placement.staged.empty()) return HResultFromLastError();
  if (!::CopyFileW(placement.source.c_str(), placement.staged.c_str(), FALSE)) {
    const HRESULT hr = HResultFromLastError();
    ::DeleteFileW(placement.staged.c_str());
    placement.staged.clear();
    return hr;
  }
  return S_OK;
}

HRESULT CComponentStore::Commit(std::vector<Placement>& placements) {
  for (const Placement& p : placements) {
    const HRESULT hr = CheckTarget(p);
    if (FAILED(hr)) return hr;
  }
  for (Placement& p : placements) {
    HRESULT hr = S_OK;
    if (p.action == Action::kReplace) {
      p.backup = TemporaryPath(FolderOf(p.target), L"~kb");
      if (p.backup.empty() ||
          !::MoveFileExW(p.target.c_str(), p.backup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        hr = HResultFromLastError();
        if (!p.backup.empty()) ::DeleteFileW(p.backup.c_str());
        p.backup.clear();
      }
    }
    // Never over a file: the name is free unless something took it since the check.
    if (SUCCEEDED(hr) && p.action != Action::kKeep) {
      if (::MoveFileExW(p.staged.c_str(), p.target.c_str(), 0)) {
        p.staged.clear();
      } else {
        hr = HResultFromLastError();
      }
    }
    p.committed = SUCCEEDED(hr) || !p.backup.empty();  // a moved original is undone too
    if (FAILED(hr)) {
      const HRESULT undone = RollBack(placements);
      return FAILED(undone) ? undone : hr;
    }
  }
  return S_OK;
}

HRESULT CComponentStore::RollBack(std::vector<Placement>& placements) {
  HRESULT result = S_OK;
  for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
    if (!it->committed) continue;
    it->committed = false;
    HRESULT hr = S_OK;
    if (it->action == Action::kReplace) {
      hr = RestoreOriginal(*it);
    } else if (it->action == Action::kCreate && !SetAside(it->target)) {
      hr = AtRestart(it->target, {});
    }
    if (SUCCEEDED(result)) result = hr;
  }
  return result;
}

void CComponentStore::Discard(std::vector<Placement>& placements) {
  for (Placement& p : placements) {
    if (!p.staged.empty()) ::DeleteFileW(p.staged.c_str());
    p.staged.clear();
    if (p.restorePending) continue;  // the original waits there for the restart
    if (!p.backup.empty()) DeleteNowOrAtRestart(p.backup);
    p.backup.clear();
  }
  // Only when nothing is left in them.
  for (const Placement& p : placements) {
    if (!p.committed && !p.conflictFolder.empty()) ::RemoveDirectoryW(p.conflictFolder.c_str());
  }
}

HRESULT CComponentStore::RecordFile(const std::wstring& clsid, Placement& placement,
                                    bool counted) const {
  const std::wstring path = kModuleUsageKey + ModuleUsageKey(placement.target);
  constexpr REGSAM kAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;
  RegKey usage;
  if (usage.Open(HKEY_LOCAL_MACHINE, path, kAccess) != ERROR_SUCCESS) {
    const LONG created = usage.Create(HKEY_LOCAL_MACHINE, path, kAccess);
    if (created != ERROR_SUCCESS) return HResultFromWin32(created);
    placement.record.keyCreated = true;
  }
  const auto owner = usage.ReadString(L".Owner");
  std::optional<std::wstring> newOwner;
  if (placement.action == Action::kCreate) {
    // A record left by an earlier file of that name says nothing about this one.
    if (!owner || !EqualsNoCase(*owner, clsid)) newOwner = clsid;
  } else if (!owner || owner->empty()) {
    newOwner = L"Unknown";  // there before any record of it: nobody we know of owns it
  }
  if (newOwner) {
    placement.record.previousOwner = owner;
    const LONG written = usage.WriteString(L".Owner", *newOwner);
    if (written != ERROR_SUCCESS) return HResultFromWin32(written);
    placement.record.ownerWritten = true;
  }
  if (usage.ReadString(clsid)) return S_OK;  // already a client: counted once
  LONG result = usage.WriteString(clsid, L"");
  if (result != ERROR_SUCCESS) return HResultFromWin32(result);
  placement.record.clientAdded = true;
  if (!counted) return S_OK;
  RegKey shared;
  result = shared.Create(HKEY_LOCAL_MACHINE, kSharedDllsKey, kAccess);
  if (result != ERROR_SUCCESS) return HResultFromWin32(result);
  placement.record.previousCount = shared.ReadDword(placement.target);
  result = shared.WriteDword(placement.target, placement.record.previousCount.value_or(0) + 1);
  if (result != ERROR_SUCCESS) return HResultFromWin32(result);
  placement.record.countWritten = true;
  return S_OK;
}

void CComponentStore::EraseRecord(const std::wstring& clsid, Placement& placement) {
  const Placement::Record record = std::exchange(placement.record, {});
  // Best effort throughout: what cannot be written back stays as the failed install left it.
  if (record.countWritten) {
    RegKey shared;
    if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDllsKey, KEY_SET_VALUE) == ERROR_SUCCESS) {
      if (record.previousCount) {
        (void)shared.WriteDword(placement.target, *record.previousCount);
      } else {
        ::RegDeleteValueW(shared.Get(), placement.target.c_str());
      }
    }
  }
  const std::wstring path = kModuleUsageKey + ModuleUsageKey(placement.target);
  if (record.keyCreated) {
    (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, path);
    return;
  }
  RegKey usage;
  if (usage.Open(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE) != ERROR_SUCCESS) return;
  if (record.clientAdded) ::RegDeleteValueW(usage.Get(), clsid.c_str());
  if (record.ownerWritten && record.previousOwner) {
    (void)usage.WriteString(L".Owner", *record.previousOwner);
  } else if (record.ownerWritten) {
    ::RegDeleteValueW(usage.Get(), L".Owner");
  }
}

void CComponentStore::RecordComponent(const std::wstring& clsid, const std::wstring& displayName,
                                      const std::wstring& codeBase, const std::wstring& infPath,
                                      const std::wstring& version,
                                      const std::vector<std::wstring>& files) const {
  const std::wstring unit = kDistributionUnitsKey + clsid;
  (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, unit);  // a fresh record per installation
  RegKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, unit) != ERROR_SUCCESS) return;
  (void)key.WriteString(L"", displayName);
  RegKey download;
  if (download.Create(HKEY_LOCAL_MACHINE, unit + L"\\DownloadInformation") == ERROR_SUCCESS) {
    (void)download.WriteString(L"CODEBASE", codeBase);
    (void)download.WriteString(L"INF", infPath);
  }
  RegKey installed;
  if (installed.Create(HKEY_LOCAL_MACHINE, unit + L"\\InstalledVersion") == ERROR_SUCCESS) {
    (void)installed.WriteString(L"", version);
  }
  RegKey contained;
  if (contained.Create(HKEY_LOCAL_MACHINE, unit + L"\\Contains\\Files") == ERROR_SUCCESS) {
    for (const auto& file : files) (void)contained.WriteString(file, L"");
  }
  RegKey classes;
  if (classes.Create(HKEY_LOCAL_MACHINE, unit + L"\\Contains\\Classes") == ERROR_SUCCESS) {
    (void)classes.WriteString(clsid, L"");
  }
}

std::optional<std::wstring> CComponentStore::RegisteredServer(const std::wstring& clsid) {
  RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32") != ERROR_SUCCESS)
    return std::nullopt;
  auto path = key.ReadString(L"");
  if (!path || path->empty() || !Exists(*path)) return std::nullopt;
  return path;
}
