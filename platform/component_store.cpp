#include "platform/component_store.h"

#include <algorithm>
#include <cwctype>

#include "common/reg_key.h"
#include "common/scoped_owner.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "common/win_error.h"

namespace {

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

// The owner recorded for a file, if any.
std::optional<std::wstring> UsageOwner(const std::wstring& path) {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kModuleUsageKey + CComponentStore::ModuleUsageKey(path)) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return key.ReadString(L".Owner").value_or(L"");
}

}  // namespace

CComponentStore::CComponentStore() : CComponentStore(WindowsFolder(), SystemFolder()) {}

CComponentStore::CComponentStore(std::wstring windowsFolder, std::wstring systemFolder)
    : windowsFolder_(std::move(windowsFolder)),
      systemFolder_(std::move(systemFolder)),
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
                              const std::wstring& source, Placement& placement) {
  std::wstring folder = FolderFor(destDir);
  if (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return HResultFromLastError();
  }
  std::wstring target = folder + L"\\" + name;
  if (destDir == 0 && Exists(target)) {
    const auto owner = UsageOwner(target);
    if (owner && !owner->empty() && !EqualsNoCase(*owner, clsid) &&
        !EqualsNoCase(*owner, L"Unknown")) {
      // Another component's file of the same name stays; ours goes to a conflict folder of its own.
      int next = 1;
      WIN32_FIND_DATAW data;
      ScopedFindHandle find(::FindFirstFileW((cacheFolder_ + L"\\CONFLICT.*").c_str(), &data));
      if (find) {
        do {
          next = std::max(next, _wtoi(data.cFileName + 9) + 1);  // after "CONFLICT."
        } while (::FindNextFileW(find.Get(), &data));
      }
      folder = cacheFolder_ + L"\\CONFLICT." + std::to_wstring(next);
      if (!::CreateDirectoryW(folder.c_str(), nullptr)) return HResultFromLastError();
      target = folder + L"\\" + name;
    }
  }
  placement = Placement{};
  placement.source = source;
  placement.target = target;
  placement.existedBefore = Exists(target);
  placement.hadUsageRecord = UsageOwner(target).has_value();
  return S_OK;
}

HRESULT CComponentStore::Stage(Placement& placement) {
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
  // First make sure every existing target may be replaced: one held open by a process fails the
  // whole component before anything changes.
  for (const Placement& p : placements) {
    if (!p.existedBefore) continue;
    ScopedFile probe(::CreateFileW(p.target.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
    if (!probe) return HResultFromLastError();
  }
  for (Placement& p : placements) {
    HRESULT hr = S_OK;
    if (p.existedBefore) {
      p.backup = TemporaryPath(FolderOf(p.target), L"~kb");
      if (p.backup.empty() ||
          !::MoveFileExW(p.target.c_str(), p.backup.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        hr = HResultFromLastError();
        if (!p.backup.empty()) ::DeleteFileW(p.backup.c_str());
        p.backup.clear();
      }
    }
    if (SUCCEEDED(hr) &&
        !::MoveFileExW(p.staged.c_str(), p.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      hr = HResultFromLastError();
      if (!p.backup.empty())
        ::MoveFileExW(p.backup.c_str(), p.target.c_str(), MOVEFILE_REPLACE_EXISTING);
      p.backup.clear();
    }
    if (FAILED(hr)) {
      RollBack(placements);  // only the ones already in place (no staged copy left) go back
      return hr;
    }
    p.staged.clear();  // now the target itself
  }
  return S_OK;
}

void CComponentStore::RollBack(std::vector<Placement>& placements) {
  for (auto it = placements.rbegin(); it != placements.rend(); ++it) {
    if (!it->staged.empty()) continue;  // never committed
    if (!it->backup.empty()) {
      ::MoveFileExW(it->backup.c_str(), it->target.c_str(), MOVEFILE_REPLACE_EXISTING);
      it->backup.clear();
    } else if (!it->existedBefore) {
      ::DeleteFileW(it->target.c_str());
    }
  }
}

void CComponentStore::Discard(std::vector<Placement>& placements) {
  for (Placement& p : placements) {
    if (!p.staged.empty()) ::DeleteFileW(p.staged.c_str());
    // A replaced module that is still loaded somewhere cannot go yet; it goes at the next restart.
    if (!p.backup.empty() && !::DeleteFileW(p.backup.c_str())) {
      ::MoveFileExW(p.backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    p.staged.clear();
    p.backup.clear();
  }
}

void CComponentStore::RecordFile(const std::wstring& clsid, const Placement& placement) const {
  RegKey usage;
  if (usage.Create(HKEY_LOCAL_MACHINE, kModuleUsageKey + ModuleUsageKey(placement.target)) !=
      ERROR_SUCCESS)
    return;
  if (!usage.ReadString(L".Owner")) {
    // A file that was there before any record of it belongs to nobody we know of.
    (void)usage.WriteString(
        L".Owner", placement.existedBefore && !placement.hadUsageRecord ? L"Unknown" : clsid);
  }
  if (usage.ReadString(clsid)) return;  // already a client: counted once
  (void)usage.WriteString(clsid, L"");
  RegKey shared;
  if (shared.Create(HKEY_LOCAL_MACHINE, kSharedDllsKey) != ERROR_SUCCESS) return;
  (void)shared.WriteDword(placement.target, shared.ReadDword(placement.target).value_or(0) + 1);
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
