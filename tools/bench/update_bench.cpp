// Measures how long Velmar's Update takes to start the installer program, against the time the
// installer needs to start at all: the control is loaded from a folder holding the signed
// installer stand-in, and Update runs on a descriptor that lists a component to update; the
// stand-in notes the performance counter as its main function begins.
//   update_bench <folder with Velmar.dll and KV3Installer.exe> <rounds>
#include <windows.h>

#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/com_initializer.h"
#include "common/com_server/variant.h"
#include "common/scoped_owner.h"
#include "tools/bench/bench_support.h"
#include "tools/control_host/control_host.h"

namespace fs = std::filesystem;
using Microsoft::WRL::ComPtr;

namespace {

// The counter the stand-in noted last as it started; 0 when it did not.
LONGLONG StandInStarted(const fs::path& log) {
  std::ifstream in(log);
  std::string word;
  LONGLONG started = 0;
  while (in >> word) {
    if (word == "started") in >> started;
  }
  return started;
}

HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, ScopedVariant argument) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) return result;
  VARIANTARG packed = argument.Get();
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&packed, flags == DISPATCH_PROPERTYPUT ? &put : nullptr, 1,
                       flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr,
                        nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: update_bench <folder with Velmar.dll> <rounds>\n");
    return 2;
  }
  const fs::path folder = argv[1];
  const int rounds = std::max(1, _wtoi(argv[2]));
  const fs::path work = fs::temp_directory_path() / "kovira-update-bench";
  fs::create_directories(work);
  const fs::path log = work / "stand-in.log";
  const fs::path descriptor = work / "update.xml";
  std::ofstream(descriptor) << "<Kovira><Update><COMPONENT CLSID=\"{0B5E2F00-3C2A-4E55-9F4B-"
                               "5D1A6A0C0001}\" Version=\"1,0,0,0\"/></Update></Kovira>";
  ::SetEnvironmentVariableW(L"KOVIRA_STAND_IN_LOG", log.c_str());

  OleInitializer ole;
  CControlHost host;
  host.SetPageUrl(L"http://server/app/");
  if (FAILED(host.Create((folder / L"Velmar.dll").wstring())) || FAILED(host.Activate())) {
    std::fwprintf(stderr, L"update_bench: %ls\n", host.Error().c_str());
    return 3;
  }
  const ComPtr<IDispatch> control = host.Dispatch();
  (void)Call(control.Get(), L"InstallerInfoXML", DISPATCH_PROPERTYPUT,
             ScopedVariant(L"start succeed"));

  std::vector<double> bare, toStart, whole;
  for (int round = 0; round < rounds; ++round) {
    // The installer's own start-up: a process start to its main function.
    fs::remove(log);
    std::wstring line = L"KV3Installer.exe 0";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION started = {};
    const LONGLONG before = Counter();
    if (!::CreateProcessW((folder / L"KV3Installer.exe").c_str(), line.data(), nullptr, nullptr,
                          FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started)) {
      std::fprintf(stderr, "update_bench: the stand-in does not start\n");
      return 3;
    }
    const ScopedHandle process(started.hProcess);
    const ScopedHandle thread(started.hThread);
    ::WaitForSingleObject(process.Get(), 30000);
    bare.push_back(Milliseconds(StandInStarted(log) - before));

    // Update: from the call to the installer's main function, and to its return.
    fs::remove(log);
    const LONGLONG called = Counter();
    (void)Call(control.Get(), L"Update", DISPATCH_METHOD, ScopedVariant(descriptor.c_str()));
    const LONGLONG returned = Counter();
    const LONGLONG installer = StandInStarted(log);
    if (installer == 0) {
      std::fprintf(stderr, "update_bench: Update did not start the stand-in\n");
      return 3;
    }
    toStart.push_back(Milliseconds(installer - called));
    whole.push_back(Milliseconds(returned - called));
    std::printf("round %d: bare start %.1f ms, Update to installer start %.1f ms, Update %.1f ms\n",
                round + 1, bare.back(), toStart.back(), whole.back());
  }
  host.Close();
  const double bareMedian = Median(bare);
  std::printf(
      "first Update (cold): %.1f ms to the installer's start, %.1f ms beyond its start-up\n",
      toStart.front(), toStart.front() - bareMedian);
  if (rounds > 1) {
    const std::vector<double> warm(toStart.begin() + 1, toStart.end());
    std::printf(
        "later Updates (median of %d): %.1f ms to the installer's start, %.1f ms beyond "
        "its start-up (median bare start %.1f ms)\n",
        rounds - 1, Median(warm), Median(warm) - bareMedian, bareMedian);
  }
  return 0;
}
