// Measures Velmar's DownloadFile (its dialog shown, its events raised) against the system's
// URLDownloadToFile on the same URL in the same run, and how long the page's thread is kept from
// its messages during DownloadFile: a probe thread posts a stamped message every 5 ms to a window
// of the page's thread, and the longest wait of such a message until it is handled is reported.
// (URLDownloadToFile holds the thread for its whole run; that is not counted.)
//   download_bench <Velmar.dll> <URL of a large file> <rounds>
#include <windows.h>

#include <urlmon.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/com_initializer.h"
#include "common/com_server/variant.h"
#include "tools/bench/bench_support.h"
#include "tools/control_host/control_host.h"

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kProbe = WM_APP + 1;

// The counter in microseconds, as 32 bits: a probe's stamp (differences survive the wrap).
uint32_t Microseconds() { return static_cast<uint32_t>(Milliseconds(Counter()) * 1000); }

// The longest wait of a probe seen while measuring.
double g_longestWaitMs = 0;
bool g_measuring = false;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wparam, LPARAM stamp) {
  if (message != kProbe) return ::DefWindowProcW(window, message, wparam, stamp);
  const double waited = (Microseconds() - static_cast<uint32_t>(stamp)) / 1000.0;
  if (g_measuring) g_longestWaitMs = std::max(g_longestWaitMs, waited);
  return 0;
}

// Handles what waits already (probes queued while URLDownloadToFile held the thread).
void HandleWaitingMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_bench <Velmar.dll> <URL> <rounds>\n");
    return 2;
  }
  const std::wstring url = argv[2];
  const int rounds = std::max(1, _wtoi(argv[3]));
  const fs::path work = fs::temp_directory_path() / "kovira-download-bench";
  fs::create_directories(work);
  const std::wstring name = url.substr(url.find_last_of(L'/') + 1);

  OleInitializer ole;
  CControlHost host;
  host.SetPageUrl(url);
  std::wstring outcome;
  host.SetRecordEvents(false);
  host.SetEventHandler([&](const FiredEvent& event, ScopedVariant&) { outcome = event.name; });
  if (FAILED(host.Create(argv[1])) || FAILED(host.Activate())) {
    std::fwprintf(stderr, L"download_bench: %ls\n", host.Error().c_str());
    return 3;
  }
  const ComPtr<IDispatch> control = host.Dispatch();

  WNDCLASSW probeClass = {};
  probeClass.lpfnWndProc = &ProbeProc;
  probeClass.hInstance = ::GetModuleHandleW(nullptr);
  probeClass.lpszClassName = L"KoviraDownloadBenchProbe";
  ::RegisterClassW(&probeClass);
  const HWND probe = ::CreateWindowW(probeClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                     nullptr, probeClass.hInstance, nullptr);
  std::atomic<bool> probing{true};
  std::thread prober([&] {
    while (probing.load()) {
      ::PostMessageW(probe, kProbe, 0, static_cast<LPARAM>(Microseconds()));
      ::Sleep(5);
    }
  });

  std::vector<double> system, ours, waits;
  double bytes = 0;
  for (int round = 0; round < rounds; ++round) {
    // A query of its own each time: nothing can come from a cache.
    const std::wstring systemUrl = url + L"?system=" + std::to_wstring(round);
    const fs::path systemFile = work / L"system.bin";
    fs::remove(systemFile);
    LONGLONG start = Counter();
    const HRESULT got =
        ::URLDownloadToFileW(nullptr, systemUrl.c_str(), systemFile.c_str(), 0, nullptr);
    system.push_back(Milliseconds(Counter() - start));
    if (FAILED(got)) {
      std::fprintf(stderr, "download_bench: URLDownloadToFile failed, 0x%08lX\n", got);
      return 3;
    }
    bytes = static_cast<double>(fs::file_size(systemFile));

    outcome.clear();
    HandleWaitingMessages();
    g_longestWaitMs = 0;
    g_measuring = true;
    start = Counter();
    std::vector<ScopedVariant> arguments;
    arguments.emplace_back((url + L"?velmar=" + std::to_wstring(round)).c_str());
    arguments.emplace_back(work.c_str());
    arguments.emplace_back(1L);
    (void)Call(control.Get(), L"DownloadFile", std::move(arguments));
    ours.push_back(Milliseconds(Counter() - start));
    g_measuring = false;
    waits.push_back(g_longestWaitMs);
    if (outcome != L"OnDownloadCompleted" || fs::file_size(work / name) != bytes) {
      std::fwprintf(stderr, L"download_bench: DownloadFile ended with %ls\n", outcome.c_str());
      return 3;
    }
    std::printf("round %d: URLDownloadToFile %.0f ms, DownloadFile %.0f ms, longest wait %.1f ms\n",
                round + 1, system.back(), ours.back(), waits.back());
  }
  probing = false;
  prober.join();
  host.Close();
  fs::remove_all(work);

  const double megabytes = bytes / 1e6;
  const double systemRate = megabytes / (Median(system) / 1000);
  const double ourRate = megabytes / (Median(ours) / 1000);
  std::printf(
      "%.1f MB (median of %d): URLDownloadToFile %.1f MB/s, DownloadFile %.1f MB/s = %.2fx; "
      "longest wait of the page's thread %.1f ms\n",
      megabytes, rounds, systemRate, ourRate, ourRate / systemRate,
      *std::max_element(waits.begin(), waits.end()));
  return 0;
}
