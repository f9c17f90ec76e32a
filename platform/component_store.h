#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// The store's machine-wide records (below HKEY_LOCAL_MACHINE).
inline constexpr wchar_t kModuleUsageKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";
inline constexpr wchar_t kSharedDllsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr wchar_t kDistributionUnitsKey[] =
    L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";

// The browser's component store: the download cache folder beside the Windows directory and the
// machine-wide records that say which component owns which file.
class CComponentStore {
 public:
  // A file on its way into the store.
  struct Placement {
    std::wstring source;  // extracted file
    std::wstring target;  // final full path
    std::wstring staged;  // temporary copy beside the target, renamed into place on commit
    std::wstring backup;  // the file the target replaced, until the install is final
    bool existedBefore = false;
    bool hadUsageRecord = false;
  };

  CComponentStore();  // the real folders
  CComponentStore(std::wstring windowsFolder, std::wstring systemFolder);

  const std::wstring& CacheFolder() const {
    return cacheFolder_;
  }  // "<Windows>\Downloaded Program Files"
  // The folder a file goes to: 0 the cache folder, 10 the Windows folder, 11 the system folder.
  std::wstring FolderFor(int destDir) const;

  // Chooses the final path of a file: its destination folder, or a new CONFLICT.n folder of the
  // cache when a file of that name there belongs to another component.
  [[nodiscard]] HRESULT Plan(const std::wstring& clsid, const std::wstring& name, int destDir,
                             const std::wstring& source, Placement& placement);
  // Copies the file next to its target under a temporary name (slow part, any thread).
  [[nodiscard]] static HRESULT Stage(Placement& placement);
  // Puts every staged file in place, or none: a target that cannot be replaced (a process holds
  // it open) leaves all targets as they were.
  [[nodiscard]] static HRESULT Commit(std::vector<Placement>& placements);
  // Undoes a commit (when a later step fails): restores the replaced files.
  static void RollBack(std::vector<Placement>& placements);
  // Drops staged copies and backups once the outcome is known.
  static void Discard(std::vector<Placement>& placements);

  // Records an installed file: ModuleUsage owner and client, SharedDLLs count.
  void RecordFile(const std::wstring& clsid, const Placement& placement) const;
  // Records the distribution unit of a component.
  void RecordComponent(const std::wstring& clsid, const std::wstring& displayName,
                       const std::wstring& codeBase, const std::wstring& infPath,
                       const std::wstring& version, const std::vector<std::wstring>& files) const;

  // The module registered for a class (its in-process server), when it exists.
  static std::optional<std::wstring> RegisteredServer(const std::wstring& clsid);

  static std::wstring ModuleUsageKey(const std::wstring& path);  // path with '/' for '\'

 private:
  std::wstring windowsFolder_;
  std::wstring systemFolder_;
  std::wstring cacheFolder_;
};
