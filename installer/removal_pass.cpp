#include "installer/removal_pass.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "common/scoped_owner.h"
#include "common/system_folders.h"
#include "installer/core/catalog_table.h"
#include "installer/core/run_report.h"
#include "installer/resource.h"
#include "installer/store_cleanup.h"

namespace {

constexpr int kShownSteps = 10;
constexpr DWORD kShownStepPauseMs = 50;
constexpr DWORD kResetPauseMs = 500;

class SystemPlatform final : public IRemovalPlatform {
 public:
  void StartAndWait(const std::wstring& commandLine) override {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
      return;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    ::WaitForSingleObject(processHandle.Get(), INFINITE);
  }

  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override {
    SHELLEXECUTEINFOW info{sizeof(info)};
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = L"Open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExW(&info)) return;
    ScopedHandle process(info.hProcess);
    if (process) ::WaitForSingleObject(process.Get(), INFINITE);
  }

  void Pause(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

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

std::wstring Lower(std::wstring text) {
  if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
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

// The outside chart control and its registration program, as the catalog names them.
std::wstring ChartCompanion(size_t which) {
  const size_t row = ChartControlRow();
  if (row == kCatalogSize) return {};
  const std::vector<std::wstring> names = NamesIn(kCatalogRows[row].companions);
  return which < names.size() ? names[which] : std::wstring();
}

}  // namespace

IRemovalPlatform& SystemRemovalPlatform() {
  static SystemPlatform platform;
  return platform;
}

CRemovalPass::CRemovalPass(RemovalContext context, IRemovalPlatform* platform,
                           std::wstring windowsFolder, std::wstring systemFolder)
    : context_(std::move(context)),
      platform_(platform ? *platform : SystemRemovalPlatform()),
      windowsFolder_(windowsFolder.empty() ? ::WindowsFolder() : std::move(windowsFolder)),
      systemFolder_(systemFolder.empty() ? ::SystemFolder() : std::move(systemFolder)),
      storeFolder_(windowsFolder_ + L"\\Downloaded Program files") {}

void CRemovalPass::RemoveInstalledComponents() {
  CountRemovableComponents(storeFolder_ + L"\\");

  CLabeledProgressCtrl& total = context_.totalBar;
  total.ShowText(true);
  total.SetLabel(FormatCounts(context_.loadString(IDS_TOTAL_DELETED), 0, removalTotal_));
  total.SetPos(0);
  total.SetStep(1);
  total.SetRange(0, removalTotal_);

  if (BuildDeletionList() == 0) return;

  // Registry records go before any file, while the deletion list names what is taken out.
  const CStoreCleanup cleanup(context_.catalog, deletionList_, windowsFolder_);
  cleanup.CleanSharedDllCounts();
  cleanup.CleanDistributionUnits();
  cleanup.CleanModuleUsage();

  DeleteStoreFiles(storeFolder_);
  ResetAfterRemoval();
}

void CRemovalPass::CountRemovableComponents(const std::wstring& storeFolderWithSlash) {
  for (size_t i = 0; i < context_.catalog.Size(); ++i) {
    const CatalogEntry& row = context_.catalog.Row(i);
    if (!context_.selected[i] || !row.cabPresent) continue;
    if (Exists(storeFolderWithSlash + row.moduleName) || Exists(storeFolderWithSlash + row.infName))
      ++removalTotal_;
  }
}

size_t CRemovalPass::BuildDeletionList() {
  size_t taken = 0;
  for (size_t i = 0; i < context_.catalog.Size(); ++i) {
    const CatalogEntry& row = context_.catalog.Row(i);
    if (!context_.selected[i] || !row.cabPresent) continue;
    deletionList_.Add(row.moduleName);
    deletionList_.Add(row.infName);
    for (const std::wstring& name : NamesIn(kCatalogRows[i].alsoListed)) deletionList_.Add(name);
    context_.removing = true;
    ++taken;
  }
  return taken;
}

void CRemovalPass::DeleteStoreFiles(const std::wstring& storeFolder) {
  for (size_t i = 0; i < context_.catalog.Size(); ++i) {
    // A cancel waits for the entry in progress; it is seen here, before the next one.
    if (context_.abortRequested) break;
    const CatalogEntry& row = context_.catalog.Row(i);
    const bool taken = context_.selected[i] && row.cabPresent;
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
      ApplyRules(i, storeFolder);
      ScanConflictFolders(storeFolder);
      ShowDeletedItem(row.displayName);
      ++removedCount_;
      SetTotalLabel();
      context_.totalBar.StepIt();
    }

    if (!PumpMessages()) break;
  }
}

void CRemovalPass::ScanConflictFolders(const std::wstring& storeFolder) {
  for (const auto& [name, isFolder] : ListFolder(storeFolder)) {
    if (!isFolder || Lower(name).find(L"conflict") == std::wstring::npos) continue;
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
    if (Lower(name).find(L"dll") != std::wstring::npos) Unregister(path, L" /U /S ");
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
  if (!NamesIn(rules.companions).empty()) RemoveChartControl();
  for (const std::wstring& name : NamesIn(rules.systemServers))
    DeleteSystemFileAfterUnregistering(name, L"/u /s ", L"regsvr32.exe");
  // Deleted without looking first: whatever of them is there goes.
  for (const std::wstring& name : NamesIn(rules.systemFiles))
    ::DeleteFileW((systemFolder_ + L"\\" + name).c_str());
}

void CRemovalPass::DeleteSystemFileAfterUnregistering(const std::wstring& name,
                                                      const wchar_t* switches,
                                                      const wchar_t* tool) {
  const std::wstring path = systemFolder_ + L"\\" + name;
  if (!Exists(path)) return;
  platform_.ShellOpenAndWait(tool, switches + name, systemFolder_);
  ::DeleteFileW(path.c_str());
}

void CRemovalPass::RemoveChartControl() {
  const std::wstring controlName = ChartCompanion(0);
  const std::wstring registrarName = ChartCompanion(1);
  const std::wstring control = systemFolder_ + L"\\" + controlName;
  const std::wstring registrar = systemFolder_ + L"\\" + registrarName;
  const bool controlExists = Exists(control);
  const bool registrarExists = Exists(registrar);
  if (controlExists && registrarExists) {
    // Only the pair can unregister the control; a lone file is just deleted.
    platform_.ShellOpenAndWait(registrarName, L"/u " + controlName, systemFolder_);
    ::DeleteFileW(control.c_str());
    ::DeleteFileW(registrar.c_str());
  } else if (controlExists) {
    ::DeleteFileW(control.c_str());
  } else if (registrarExists) {
    ::DeleteFileW(registrar.c_str());
  }
}

void CRemovalPass::ShowDeletedItem(const std::wstring& displayName) {
  CLabeledProgressCtrl& bar = context_.currentBar;
  bar.SetPos(0);
  bar.SetStep(10);
  bar.SetRange(0, 100);
  bar.ShowText(true);

  const std::wstring text = InsertPositional(context_.loadString(IDS_ROW_DELETED), {displayName});
  std::vector<wchar_t> label(std::max<size_t>(text.size() + 1, MAX_PATH), L'\0');
  text.copy(label.data(), text.size());
  RECT client{};
  ::GetClientRect(bar.Handle(), &client);
  {
    WindowDc dc(context_.dialog);
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
  context_.installing = false;
  context_.currentIndex = 0;
  context_.stepCount = 0;
  context_.removing = false;
  platform_.Pause(kResetPauseMs);
  context_.totalBar.SetLabel(L"");
  context_.totalBar.SetPos(0);
  deletionList_.Clear();
}

void CRemovalPass::RegisterChartControl() {
  // Overwrites whatever copy is there; the registrar resolves the control in its own folder.
  const std::wstring controlName = ChartCompanion(0);
  const std::wstring registrarName = ChartCompanion(1);
  ::CopyFileW(context_.catalog.CompanionControlPath().c_str(),
              (systemFolder_ + L"\\" + controlName).c_str(), FALSE);
  ::CopyFileW(context_.catalog.CompanionProgramPath().c_str(),
              (systemFolder_ + L"\\" + registrarName).c_str(), FALSE);
  platform_.ShellOpenAndWait(registrarName, controlName, systemFolder_);
}

void CRemovalPass::SetTotalLabel() {
  context_.totalBar.SetLabel(
      FormatCounts(context_.loadString(IDS_TOTAL_DELETED), removedCount_, removalTotal_));
}

bool CRemovalPass::PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;  // consumed: the pass ends here
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}
