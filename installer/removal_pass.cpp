#include "installer/removal_pass.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "common/scoped_owner.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "common/window/nested_message_loop.h"
#include "installer/chart_control.h"
#include "installer/core/catalog_table.h"
#include "installer/core/run_report.h"
#include "installer/resource.h"
#include "installer/system_removal_platform.h"

namespace {

constexpr int kShownSteps = 10;
constexpr DWORD kShownStepPauseMs = 50;
constexpr DWORD kResetPauseMs = 500;

// A window's device context, given back when done.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A file-find on the exact path, as the browser's own store lookups do.
bool Exists(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW(path.c_str(), &data));
  return find.IsValid();
}

std::wstring Upper(std::wstring text) {
  if (!text.empty()) ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// Names in a folder other than "." and "..", with whether each is a directory.
std::vector<std::pair<std::wstring, bool>> ListFolder(const std::wstring& folder) {
  std::vector<std::pair<std::wstring, bool>> entries;
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*.*").c_str(), &data));
  if (!find) return entries;
  do {
    if (std::wcscmp(data.cFileName, L".") == 0 || std::wcscmp(data.cFileName, L"..") == 0) continue;
    entries.emplace_back(data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (::FindNextFileW(find.Get(), &data));
  return entries;
}

std::wstring FormatCounts(const std::wstring& format, int done, int total) {
  std::vector<wchar_t> text(format.size() + 64);
  const int written = std::swprintf(text.data(), text.size(), format.c_str(), done, total);
  return written < 0 ? std::wstring() : std::wstring(text.data(), written);
}

bool IsServerFile(const std::wstring& path) {
  return EndsWithNoCase(path, L".dll") || EndsWithNoCase(path, L".ocx");
}

}  // namespace

CRemovalPass::CRemovalPass(CInstallRun& run, RemovalDisplay display, IRemovalPlatform* platform,
                           std::wstring windowsFolder, std::wstring systemFolder)
    : run_(run),
      display_(std::move(display)),
      platform_(platform ? *platform : SystemRemovalPlatform()),
      windowsFolder_(windowsFolder.empty() ? ::WindowsFolder() : std::move(windowsFolder)),
      systemFolder_(systemFolder.empty() ? ::SystemFolder() : std::move(systemFolder)),
      storeFolder_(windowsFolder_ + L"\\Downloaded Program files") {}

void CRemovalPass::RemoveInstalledComponents() {
  quitRequested_ = false;
  // Counted afresh: a removal asked for while idle may come before a run's own.
  run_.ResetRemovalCounts();
  CountRemovableComponents(storeFolder_ + L"\\");

  CLabeledProgressCtrl& total = display_.totalBar;
  total.ShowText(true);
  total.SetLabel(FormatCounts(display_.loadString(IDS_TOTAL_DELETED), 0, run_.RemovalTotal()));
  total.SetPos(0);
  total.SetStep(1);
  total.SetRange(0, run_.RemovalTotal());

  if (BuildDeletionList() == 0) return;

  // Registry records go before any file, while the deletion list names what is taken out; the
  // files a component's unit lists are read before the unit goes.
  const CStoreCleanup cleanup(run_.Catalog(), deletionList_, windowsFolder_);
  listedFiles_ = cleanup.ReleaseListedFiles(systemFolder_);
  cleanup.CleanSharedDllCounts();
  cleanup.CleanDistributionUnits();
  cleanup.CleanModuleUsage();

  DeleteStoreFiles(storeFolder_);
  ResetAfterRemoval();
}

void CRemovalPass::CountRemovableComponents(const std::wstring& storeFolderWithSlash) {
  const CCatalog& catalog = run_.Catalog();
  for (size_t i = 0; i < catalog.Size(); ++i) {
    if (!run_.Taken(i)) continue;
    const CatalogEntry& row = catalog.Row(i);
    if (Exists(storeFolderWithSlash + row.moduleName) || Exists(storeFolderWithSlash + row.infName))
      run_.AddRemovable();
  }
}

size_t CRemovalPass::BuildDeletionList() {
  const CCatalog& catalog = run_.Catalog();
  size_t taken = 0;
  for (size_t i = 0; i < catalog.Size(); ++i) {
    if (!run_.Taken(i)) continue;
    const CatalogEntry& row = catalog.Row(i);
    deletionList_.Add(row.moduleName);
    deletionList_.Add(row.infName);
    for (const std::wstring& name : NamesIn(kCatalogRows[i].alsoListed)) deletionList_.Add(name);
    run_.BeginRemoval();
    ++taken;
  }
  return taken;
}

void CRemovalPass::DeleteStoreFiles(const std::wstring& storeFolder) {
  // Between entries the dialog's messages are handled as its own loop would (Escape is Cancel);
  // a quit request ends the pass and goes on to that loop when this one is done.
  CNestedMessageLoop messages;
  const CCatalog& catalog = run_.Catalog();
  for (size_t i = 0; i < catalog.Size(); ++i) {
    // A cancel waits for the entry in progress; it is seen here, before the next one.
    if (run_.AbortRequested()) break;
    const CatalogEntry& row = catalog.Row(i);
    const bool taken = run_.Taken(i);
    const std::wstring modulePath = storeFolder + L"\\" + row.moduleName;
    const std::wstring infPath = storeFolder + L"\\" + row.infName;
    const bool moduleExists = Exists(modulePath);
    const bool infExists = Exists(infPath);

    // The chart file shared by several components may sit in conflict folders of theirs.
    if (const std::wstring sharedChart = kCatalogRows[i].sharedChart;
        !sharedChart.empty() && !moduleExists && !infExists) {
      ScanConflictFolders(storeFolder);
      const std::wstring sharedPath = storeFolder + L"\\" + sharedChart;
      if (taken && Exists(sharedPath)) ::DeleteFileW(sharedPath.c_str());
    }

    if (taken && (moduleExists || infExists)) {
      if (moduleExists) {
        Unregister(modulePath, L" /U /s ");
        ::DeleteFileW(modulePath.c_str());
      }
      if (infExists) ::DeleteFileW(infPath.c_str());
      DeleteListedFiles(row.clsid);
      ApplyRules(i, storeFolder);
      ScanConflictFolders(storeFolder);
      ShowDeletedItem(row.displayName);
      run_.CountRemoved();
      SetTotalLabel();
      display_.totalBar.StepIt();
    } else if (taken) {
      DeleteListedFiles(row.clsid);  // what is left of a component whose own files are gone
    }

    if (!messages.HandleAll()) {
      quitRequested_ = true;
      break;
    }
  }
}

void CRemovalPass::DeleteListedFiles(const std::wstring& clsid) {
  const auto listed = listedFiles_.find(Upper(clsid));
  if (listed == listedFiles_.end()) return;
  for (const std::wstring& path : listed->second) {
    if (!Exists(path)) continue;
    if (IsServerFile(path)) Unregister(path, L" /U /s ");
    ::DeleteFileW(path.c_str());
  }
  listedFiles_.erase(listed);  // rows sharing the class id share its files
}

void CRemovalPass::ScanConflictFolders(const std::wstring& storeFolder) {
  for (const auto& [name, isFolder] : ListFolder(storeFolder)) {
    if (!isFolder || !ContainsNoCase(name, L"conflict")) continue;
    const std::wstring folder = storeFolder + L"\\" + name;
    CleanConflictFolder(folder);
    ::RemoveDirectoryW(folder.c_str());  // only when nothing else was left in it
  }
}

void CRemovalPass::CleanConflictFolder(const std::wstring& folder) {
  for (const auto& entry : ListFolder(folder)) {
    const std::wstring& name = entry.first;
    if (!deletionList_.IsInDeletionList(name)) continue;
    const std::wstring path = folder + L"\\" + name;
    if (ContainsNoCase(name, L"dll")) Unregister(path, L" /U /S ");
    ::DeleteFileW(path.c_str());
  }
}

void CRemovalPass::Unregister(const std::wstring& path, const wchar_t* switches) {
  platform_.StartAndWait(systemFolder_ + L"\\regsvr32.exe" + switches + L"\"" + path + L"\"");
}

void CRemovalPass::ApplyRules(size_t row, const std::wstring& storeFolder) {
  const CatalogRow& rules = kCatalogRows[row];
  for (const std::wstring& name : NamesIn(rules.storeFiles))
    ::DeleteFileW((storeFolder + L"\\" + name).c_str());
  if (!NamesIn(rules.companions).empty()) CChartControl(platform_, systemFolder_).Remove();
  for (const std::wstring& name : NamesIn(rules.systemServers))
    DeleteSystemFileAfterUnregistering(name);
  // Deleted without looking first: whatever of them is there goes.
  for (const std::wstring& name : NamesIn(rules.systemFiles))
    ::DeleteFileW((systemFolder_ + L"\\" + name).c_str());
}

void CRemovalPass::DeleteSystemFileAfterUnregistering(const std::wstring& name) {
  const std::wstring path = systemFolder_ + L"\\" + name;
  if (!Exists(path)) return;
  platform_.ShellOpenAndWait(L"regsvr32.exe", L"/u /s " + name, systemFolder_);
  ::DeleteFileW(path.c_str());
}

void CRemovalPass::ShowDeletedItem(const std::wstring& displayName) {
  CLabeledProgressCtrl& bar = display_.currentBar;
  bar.SetPos(0);
  bar.SetStep(10);
  bar.SetRange(0, 100);
  bar.ShowText(true);

  const std::wstring text = InsertPositional(display_.loadString(IDS_ROW_DELETED), {displayName});
  std::vector<wchar_t> label(std::max<size_t>(text.size() + 1, MAX_PATH), L'\0');
  text.copy(label.data(), text.size());
  RECT client{};
  ::GetClientRect(bar.Handle(), &client);
  {
    WindowDc dc(display_.dialog);
    ::PathCompactPathW(dc.Get(), label.data(), static_cast<UINT>(client.right - client.left));
  }
  bar.SetLabel(label.data());

  for (int step = 0; step < kShownSteps; ++step) {
    bar.StepIt();
    platform_.Pause(kShownStepPauseMs);
  }

  bar.SetLabel(L"");
  bar.SetPos(0);
  bar.ShowText(false);
}

void CRemovalPass::ResetAfterRemoval() {
  run_.EndRemoval();
  platform_.Pause(kResetPauseMs);
  display_.totalBar.SetLabel(L"");
  display_.totalBar.SetPos(0);
  deletionList_.Clear();
  listedFiles_.clear();
}

void CRemovalPass::SetTotalLabel() {
  display_.totalBar.SetLabel(FormatCounts(display_.loadString(IDS_TOTAL_DELETED),
                                          run_.RemovedCount(), run_.RemovalTotal()));
}
