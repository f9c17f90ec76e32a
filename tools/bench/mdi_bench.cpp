// Measures the cost of a view of MDI.dll: creating a number of views through CreateView (as a
// page's script does) and closing them all with CloseAll, per view; the same for the WebBrowser
// control alone, hosted the way a view hosts it; and the same for the system's own MDI client
// window (WM_MDICREATE, then WM_MDIDESTROY). All windows are 400 x 300.
//   mdi_bench <MDI.dll> <views> <rounds>
#include <windows.h>

#include <exdisp.h>
#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/com_initializer.h"
#include "common/com_server/variant.h"
#include "common/container/control_container.h"
#include "common/window/window_impl.h"
#include "tools/control_host/control_host.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr RECT kArea = {0, 0, 400, 300};

LONGLONG Counter() {
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

double Milliseconds(LONGLONG ticks) {
  LARGE_INTEGER frequency;
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<ScopedVariant>& arguments) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) return result;
  std::vector<VARIANTARG> packed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) packed.push_back(it->Get());
  DISPPARAMS params = {packed.data(), nullptr, static_cast<UINT>(packed.size()), 0};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                        nullptr, nullptr);
}

// Milliseconds per view for views CreateView calls and one CloseAll.
double FrameRound(IDispatch* frame, int views) {
  const LONGLONG start = Counter();
  for (int i = 0; i < views; ++i) {
    std::vector<ScopedVariant> arguments;
    arguments.emplace_back(L"about:blank");
    arguments.emplace_back(L"view");
    arguments.emplace_back(0L);
    (void)Call(frame, L"CreateView", arguments);
  }
  std::vector<ScopedVariant> none;
  (void)Call(frame, L"CloseAll", none);
  return Milliseconds(Counter() - start) / views;
}

// The browser alone, as a view hosts it: made, sited, activated in a child window of a hidden
// parent, navigated to about:blank; then closed.
double BrowserRound(HWND parent, int views) {
  const LONGLONG start = Counter();
  std::vector<CControlContainer> sites(static_cast<size_t>(views));
  for (auto& site : sites) {
    ComPtr<IWebBrowser2> browser;
    if (FAILED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&browser))) ||
        FAILED(site.CreateWindowIn(parent, kArea, L"")) ||
        FAILED(site.Host(browser.Get(), L"browser", nullptr, nullptr)) ||
        FAILED(site.ConnectSite()) || FAILED(site.Activate())) {
      continue;
    }
    ScopedVariant url(L"about:blank");
    ScopedVariant empty;
    (void)browser->Navigate2(url.Pointer(), empty.Pointer(), empty.Pointer(), empty.Pointer(),
                             empty.Pointer());
  }
  for (auto& site : sites) site.Close();
  return Milliseconds(Counter() - start) / views;
}

// The system's MDI client: WM_MDICREATE views children, then WM_MDIDESTROY each.
double SystemRound(HWND client, int views) {
  const LONGLONG start = Counter();
  std::vector<HWND> children;
  for (int i = 0; i < views; ++i) {
    MDICREATESTRUCTW create = {L"KoviraBenchChild",
                               L"view",
                               ::GetModuleHandleW(nullptr),
                               0,
                               0,
                               300,
                               200,
                               WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                               0};
    children.push_back(reinterpret_cast<HWND>(
        ::SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create))));
  }
  for (HWND child : children)
    ::SendMessageW(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child), 0);
  return Milliseconds(Counter() - start) / views;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mdi_bench <MDI.dll> <views> <rounds>\n");
    return 2;
  }
  const int views = std::max(1, _wtoi(argv[2]));
  const int rounds = std::max(1, _wtoi(argv[3]));
  OleInitializer ole;
  CControlHost host;
  if (FAILED(host.Create(argv[1])) || FAILED(host.Activate())) {
    std::fwprintf(stderr, L"mdi_bench: %ls\n", host.Error().c_str());
    return 3;
  }
  const ComPtr<IDispatch> frame = host.Dispatch();

  // The system's MDI client in a plain frame of the same size; its children use the MDI
  // child's default procedure.
  WNDCLASSW child_class = {0,
                           &::DefMDIChildProcW,
                           0,
                           0,
                           ::GetModuleHandleW(nullptr),
                           nullptr,
                           ::LoadCursorW(nullptr, IDC_ARROW),
                           nullptr,
                           nullptr,
                           L"KoviraBenchChild"};
  ::RegisterClassW(&child_class);
  CWindowImpl system_frame;
  if (FAILED(system_frame.Create({L"KoviraBenchFrame"}, nullptr, kArea, L"bench", WS_OVERLAPPED))) {
    std::fprintf(stderr, "mdi_bench: no frame window for the system's MDI client\n");
    return 3;
  }
  CLIENTCREATESTRUCT client_create = {nullptr, 1};
  const HWND client = ::CreateWindowExW(0, L"MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 400,
                                        300, system_frame.Handle(), nullptr,
                                        ::GetModuleHandleW(nullptr), &client_create);

  std::vector<double> ours, browser, system;
  for (int round = 0; round < rounds; ++round) {
    ours.push_back(FrameRound(frame.Get(), views));
    browser.push_back(BrowserRound(host.Window(), views));
    system.push_back(SystemRound(client, views));
    std::printf(
        "round %d: MDIFrame %.3f ms per view, WebBrowser alone %.3f ms, system MDI %.3f ms\n",
        round + 1, ours.back(), browser.back(), system.back());
  }
  host.Close();
  const double frame_cost = Median(ours) - Median(browser);
  std::printf(
      "median per view over %d rounds of %d views: MDIFrame %.3f ms, of which the WebBrowser "
      "control's own %.3f ms; without it %.3f ms against the system's MDI client %.3f ms "
      "(%.2fx)\n",
      rounds, views, Median(ours), Median(browser), frame_cost, Median(system),
      frame_cost / Median(system));
  return 0;
}
