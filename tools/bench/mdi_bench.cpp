// Measures the cost of a view of MDI.dll: creating a number of views through CreateView (as a
// page's script does) and closing them all with CloseAll, per view; the same for the WebBrowser
// control alone, hosted the way a view hosts it; and the same for the system's own MDI client
// window (WM_MDICREATE, then WM_MDIDESTROY). All windows are 400 x 300. Then the layouts: Sort 1
// and 2 over 200 views against WM_MDICASCADE and WM_MDITILE over 200 children; and a full
// repaint of a 1920 x 1080 frame with an 800 x 600 background picture (the frame's draw routine
// into a screen-compatible bitmap of that size).
//   mdi_bench <MDI.dll> <views> <rounds>
#include <windows.h>

#include <exdisp.h>
#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/com_initializer.h"
#include "common/com_server/variant.h"
#include "common/container/control_container.h"
#include "common/scoped_owner.h"
#include "common/scoped_selection.h"
#include "common/system_folders.h"
#include "common/window/window_impl.h"
#include "tools/bench/bench_support.h"
#include "tools/control_host/control_host.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr RECT kArea = {0, 0, 400, 300};

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

HRESULT Put(IDispatch* object, const wchar_t* name, ScopedVariant value) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT result = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(result)) return result;
  VARIANTARG argument = value.Get();
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&argument, &named, 1, 1};
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr,
                        nullptr, nullptr);
}

void Pump(DWORD milliseconds) {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < milliseconds) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

// An 800 x 600 24-bit bitmap file in the temporary folder; its file: URL.
std::wstring WritePicture() {
  constexpr int kWidth = 800, kHeight = 600;
  const std::wstring path = TempFolder() + L"\\mdi_bench_picture.bmp";
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {sizeof(info), kWidth, kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD pixels = kWidth * 3 * kHeight;
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + pixels;
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&info), sizeof(info));
  std::vector<char> rows(pixels);
  for (DWORD i = 0; i < pixels; ++i) rows[i] = static_cast<char>(i * 7);
  out.write(rows.data(), static_cast<std::streamsize>(rows.size()));
  return L"file:///" + path;
}

// Milliseconds of one full draw of the frame into a 1920 x 1080 bitmap, median of 25.
double RepaintRound(IViewObject* view) {
  constexpr RECT kScreen = {0, 0, 1920, 1080};
  const HDC screen = ::GetDC(nullptr);
  ScopedDc memory(::CreateCompatibleDC(screen));
  ScopedGdiObject bitmap(::CreateCompatibleBitmap(screen, kScreen.right, kScreen.bottom));
  ::ReleaseDC(nullptr, screen);
  const ScopedSelection selected(memory.Get(), bitmap.Get());
  const RECTL bounds = {kScreen.left, kScreen.top, kScreen.right, kScreen.bottom};
  std::vector<double> draws;
  for (int i = 0; i < 25; ++i) {
    const LONGLONG start = Counter();
    const HRESULT drawn = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, memory.Get(),
                                     &bounds, nullptr, nullptr, 0);
    ::GdiFlush();
    draws.push_back(Milliseconds(Counter() - start));
    if (FAILED(drawn)) return -1;
  }
  // The picture's corner and the background beyond it.
  std::printf("  pixels: picture 0x%06lx, background 0x%06lx\n",
              static_cast<unsigned long>(::GetPixel(memory.Get(), 1, 1)),
              static_cast<unsigned long>(::GetPixel(memory.Get(), 1000, 800)));
  return Median(draws);
}

// Milliseconds of one Sort(method) over the frame's views.
double SortRound(IDispatch* frame, long method) {
  std::vector<ScopedVariant> arguments;
  arguments.emplace_back(method);
  const LONGLONG start = Counter();
  (void)Call(frame, L"Sort", arguments);
  return Milliseconds(Counter() - start);
}

// Milliseconds of one WM_MDICASCADE or WM_MDITILE over the client's children.
double SystemArrangeRound(HWND client, UINT message) {
  const LONGLONG start = Counter();
  ::SendMessageW(client, message, 0, 0);
  return Milliseconds(Counter() - start);
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
  if (FAILED(system_frame.Create({L"KoviraBenchFrame"}, nullptr, kArea, L"bench",
                                 WS_OVERLAPPED | WS_VISIBLE))) {
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
  const double frame_cost = Median(ours) - Median(browser);
  std::printf(
      "median per view over %d rounds of %d views: MDIFrame %.3f ms, of which the WebBrowser "
      "control's own %.3f ms; without it %.3f ms against the system's MDI client %.3f ms "
      "(%.2fx)\n",
      rounds, views, Median(ours), Median(browser), frame_cost, Median(system),
      frame_cost / Median(system));

  // The layouts over 200 views each side.
  constexpr int kArranged = 200;
  for (int i = 0; i < kArranged; ++i) {
    std::vector<ScopedVariant> arguments;
    arguments.emplace_back(L"about:blank");
    arguments.emplace_back(L"view");
    arguments.emplace_back(0L);
    (void)Call(frame.Get(), L"CreateView", arguments);
    MDICREATESTRUCTW create = {L"KoviraBenchChild",
                               L"view",
                               ::GetModuleHandleW(nullptr),
                               0,
                               0,
                               300,
                               200,
                               WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                               0};
    ::SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create));
  }
  Pump(200);
  std::vector<double> cascade, tile, system_cascade, system_tile;
  for (int round = 0; round < rounds; ++round) {
    cascade.push_back(SortRound(frame.Get(), 1));
    system_cascade.push_back(SystemArrangeRound(client, WM_MDICASCADE));
    tile.push_back(SortRound(frame.Get(), 2));
    system_tile.push_back(SystemArrangeRound(client, WM_MDITILE));
  }
  std::printf(
      "Sort over %d views (median of %d): cascade %.3f ms against WM_MDICASCADE %.3f ms "
      "(%.2fx); tile %.3f ms against WM_MDITILE %.3f ms (%.2fx)\n",
      kArranged, rounds, Median(cascade), Median(system_cascade),
      Median(cascade) / Median(system_cascade), Median(tile), Median(system_tile),
      Median(tile) / Median(system_tile));
  std::vector<ScopedVariant> none;
  (void)Call(frame.Get(), L"CloseAll", none);

  // The repaint, once the picture has come.
  (void)Put(frame.Get(), L"BackImage", ScopedVariant(WritePicture().c_str()));
  Pump(1000);
  ComPtr<IViewObject> view;
  if (SUCCEEDED(frame.As(&view))) {
    std::printf("full repaint of a 1920 x 1080 frame with an 800 x 600 picture: %.3f ms\n",
                RepaintRound(view.Get()));
  }
  host.Close();
  return 0;
}
