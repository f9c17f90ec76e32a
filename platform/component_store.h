#pragma once

#include <windows.h>

#include <array>
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

// A failed install whose undoing has to wait for the next restart (ERROR_FAIL_REBOOT_REQUIRED,
// which MinGW's headers lack): an original could not be put back yet and waits beside its place.
inline constexpr HRESULT kErrorRollbackAtRestart = HRESULT_FROM_WIN32(3017L);

// The browser's component store: the download cache folder beside the Windows directory and the
// machine-wide records that say which component owns which file.
//
// Files already there are protected: an existing file the installing component does not own is
// replaced only by a file with a newer version (its version resource, else the INF's FileVersion);
// one as new or newer, or one without a version on either side, is kept and counts as installed.
// In the cache folder, a file of another component keeps its place and the newcomer goes to a
// CONFLICT.n folder. Names are compared as long names.
class CComponentStore {
 public:
  using Version = std::array<unsigned, 4>;

  // A file on its way into the store, and what was done for it, so that all of it can be undone.
  struct Placement {
    enum class Action {
      kCreate,   // no file there at planning time; commit never overwrites one that came since
      kReplace,  // the component's own file, or an older one it may replace
      kKeep,     // an existing file that stays as it is
    };
    // What RecordFile changed.
    struct Record {
      bool keyCreated = false;
      bool ownerWritten = false;
      std::optional<std::wstring> previousOwner;
      bool clientAdded = false;
      bool countWritten = false;
      std::optional<DWORD> previousCount;
    };

    std::wstring source;          // extracted file
    std::wstring target;          // final full path, in its long form
    std::wstring staged;          // temporary copy beside the target, renamed into place on commit
    std::wstring backup;          // the file the target replaced, until the install is final
    std::wstring conflictFolder;  // a CONFLICT.n folder made for this install
    Action action = Action::kCreate;
    bool committed = false;
    bool restorePending = false;  // the original could not go back: its backup stays
    Record record;
  };

  CComponentStore();  // the real folders
  // Existing folders are taken in their long form.
  CComponentStore(std::wstring windowsFolder, std::wstring systemFolder);

  const std::wstring& CacheFolder() const {
    return cacheFolder_;
  }  // "<Windows>\Downloaded Program Files"
  // The folder a file goes to: 0 the cache folder, 10 the Windows folder, 11 the system folder.
  std::wstring FolderFor(int destDir) const;

  // Chooses the final path of a file and what happens to a file already there (see above).
  // declaredVersion is the INF's FileVersion, used when the file has no version resource.
  // conflictFolder is shared by the files of one install: empty until one of them needs a
  // CONFLICT.n folder, which is then made. A name that is another file's short name, or names a
  // folder, is refused with kErrorUnsafeMemberName.
  [[nodiscard]] HRESULT Plan(const std::wstring& clsid, const std::wstring& name, int destDir,
                             const std::wstring& source,
                             const std::optional<Version>& declaredVersion,
                             std::wstring& conflictFolder, Placement& placement);
  // Copies the file next to its target under a temporary name (slow part, any thread); a kept
  // file needs none.
  [[nodiscard]] static HRESULT Stage(Placement& placement);
  // Puts every staged file in place, or none: a target that cannot be replaced (a process holds
  // it open), a kept file that has gone or a file that appeared where none was planned leaves
  // all targets as they were (or kErrorRollbackAtRestart when that has to wait).
  [[nodiscard]] static HRESULT Commit(std::vector<Placement>& placements);
  // Undoes a commit (when a later step fails): removes new files and restores the replaced ones.
  // An original that cannot go back now keeps its backup, which is moved back at the next
  // restart; that gives kErrorRollbackAtRestart.
  [[nodiscard]] static HRESULT RollBack(std::vector<Placement>& placements);
  // Drops staged copies and the backups of committed files once the outcome is known, and the
  // empty CONFLICT.n folders of an install that did not commit.
  static void Discard(std::vector<Placement>& placements);

  // Records a placed file: ModuleUsage owner and client and, when counted, its SharedDLLs count.
  // The owner of a file that was there without a record is "Unknown". What it wrote is kept in the
  // placement for EraseRecord, also when it fails.
  [[nodiscard]] HRESULT RecordFile(const std::wstring& clsid, Placement& placement,
                                   bool counted = true) const;
  // Takes back what RecordFile wrote, as far as the registry lets it.
  static void EraseRecord(const std::wstring& clsid, Placement& placement);
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
