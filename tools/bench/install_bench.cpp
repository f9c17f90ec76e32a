// Measures the installer's own cost: how long the engine and the download service take per
// component (no user-interface waits at that level), a whole dialog run against the waits the
// dialog imposes by design, and the service's CAB extraction throughput.
//   install_bench <cabfiles folder> <rounds> [large CAB]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/com_initializer.h"
#include "installer/core/catalog_table.h"
#include "installer/install_engine.h"
#include "installer/install_messages.h"
#include "installer/installer_dlg.h"
#include "installer/removal_platform.h"
#include "installer/system_removal_platform.h"
#include "platform/cab_extractor.h"
#include "platform/code_download.h"

namespace fs = std::filesystem;

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool g_done = false;
int g_installed = 0;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INSTALL_DONE) {
    if (wParam != 0) {
      ++g_installed;
    } else {
      g_done = true;
    }
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void PumpUntilDone() {
  MSG msg;
  while (!g_done && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

const CatalogRow* RowForCab(const std::wstring& cab) {
  for (const auto& row : kCatalogRows) {
    if (_wcsicmp(row.cabName, cab.c_str()) == 0) return &row;
  }
  return nullptr;
}

void BenchEngine(const fs::path& cabs, int rounds) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ParentProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"InstallBenchParent";
  ::RegisterClassW(&wc);
  HWND parent = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr,
                                  nullptr, wc.hInstance, nullptr);
  CInstallEngine engine(DefaultCodeDownloadService(), ConsoleUserSettings{});
  if (!engine.Create(parent)) return;

  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    for (const auto& entry : fs::directory_iterator(cabs)) {
      const CatalogRow* row = RowForCab(entry.path().filename().wstring());
      if (row == nullptr) continue;
      g_done = false;
      const double start = Now();
      engine.SetTarget(row->clsid, entry.path().wstring(), kCatalogVersionText);
      engine.Start();
      PumpUntilDone();
      times.push_back(Now() - start);
      // The next round replaces these modules, which it cannot while this process holds them.
      ::CoFreeUnusedLibrariesEx(0, 0);
      ::Sleep(1);
      ::CoFreeUnusedLibrariesEx(0, 0);
    }
  }
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double t : times) sum += t;
  std::printf(
      "engine+service, per component: %zu installs (%d class objects obtained), mean %.1f ms, "
      "median %.1f ms, max %.1f ms\n",
      times.size(), g_installed, sum / static_cast<double>(times.size()), times[times.size() / 2],
      times.back());
}

// Watches the engine's notifications to the dialog: the rows run from the first to the last.
struct RunWatch {
  double firstNotice = 0;
  double lastRowEnd = 0;
} g_watch;

LRESULT CALLBACK WatchMessages(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION &&
      (message->message == WM_INSTALL_PROGRESS || message->message == WM_INSTALL_DONE)) {
    if (g_watch.firstNotice == 0) g_watch.firstNotice = Now();
    if (message->message == WM_INSTALL_DONE && message->wParam == 0) g_watch.lastRowEnd = Now();
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The removal pass's own waits (its animation), counted so that the rest is visible.
class CountedWaits final : public IRemovalPlatform {
 public:
  void StartAndWait(const std::wstring& commandLine) override {
    SystemRemovalPlatform().StartAndWait(commandLine);
  }
  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override {
    SystemRemovalPlatform().ShellOpenAndWait(file, parameters, folder);
  }
  void Pause(DWORD milliseconds) override {
    paused += milliseconds;
    ::Sleep(milliseconds);
  }
  double paused = 0;
};

// One dialog run over the folder: whatever an earlier run installed is removed first, then
// every component is installed again.
void BenchDialog(const fs::path& cabs, const char* what) {
  // The dialog looks for "cabfiles" beside the program path it is given.
  InstallerEnvironment environment;
  environment.programPath = (cabs.parent_path() / L"installer.exe").wstring();
  CountedWaits waits;
  environment.removalPlatform = &waits;
  CInstallerDlg dialog(environment);
  g_watch = RunWatch{};
  HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, WatchMessages, nullptr, ::GetCurrentThreadId());
  const double start = Now();
  if (FAILED(dialog.DoModal(::GetModuleHandleW(nullptr)))) {
    std::printf("%s: the dialog did not run\n", what);
    ::UnhookWindowsHookEx(hook);
    return;
  }
  const double total = Now() - start;
  ::UnhookWindowsHookEx(hook);
  const size_t n = dialog.InstalledCount();
  // Waits the dialog makes on purpose while rows run: ten 50 ms steps per installed row. Before
  // them: the auto-start tick (up to 100 ms) and the removal pass with its animation.
  const double rows = g_watch.lastRowEnd - g_watch.firstNotice;
  const double steps = static_cast<double>(n) * 10 * 50;
  const double removal = g_watch.firstNotice - start;
  std::printf("dialog run (%s): %zu of %zu components installed; %.0f ms from opening to closing\n",
              what, n, dialog.FoundCount(), total);
  std::printf(
      "  before the first row: %.0f ms, of which the removal animation %.0f ms and the start tick "
      "up to 100 ms\n",
      removal, waits.paused);
  std::printf(
      "  rows: %.0f ms, of which imposed 50 ms steps %.0f ms; own overhead per component %.1f ms\n",
      rows, steps, n == 0 ? 0.0 : (rows - steps) / static_cast<double>(n));
}

void BenchExtraction(const fs::path& cab) {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  const fs::path folder = fs::path(temp) / L"kovira-bench-extract";
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  CCabExtractor extractor;
  uint64_t bytes = 0;
  const double start = Now();
  HRESULT hr = extractor.Open(cab.wstring());
  if (SUCCEEDED(hr)) {
    hr = extractor.Extract(folder.wstring(), [&](const std::string&, uint32_t size) {
      bytes += size;
      return CCabExtractor::Decision::kExtract;
    });
  }
  const double elapsed = Now() - start;
  fs::remove_all(folder, ignored);
  std::printf("extraction of %s: hr=0x%08lx, %.1f MB in %.0f ms = %.1f MB/s\n",
              cab.filename().string().c_str(), static_cast<unsigned long>(hr),
              static_cast<double>(bytes) / 1e6, elapsed,
              static_cast<double>(bytes) / 1e3 / elapsed);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: install_bench <cabfiles folder> <rounds> [large CAB]\n");
    return 2;
  }
  OleInitializer ole;
  BenchDialog(argv[1], "removing what the store holds, then installing");
  // The first run's modules are still loaded here; the second run replaces them.
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::Sleep(1);
  ::CoFreeUnusedLibrariesEx(0, 0);
  BenchDialog(argv[1], "again");
  BenchEngine(argv[1], _wtoi(argv[2]));
  if (argc > 3) BenchExtraction(argv[3]);
  return 0;
}
