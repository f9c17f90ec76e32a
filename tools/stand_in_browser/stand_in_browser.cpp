// Stands in for an Internet Explorer process in tests of the installer's browser check: a
// top-level frame window of the browser's class in a process that has loaded the given modules.
//
//   stand_in_browser [--lower-case-class] [--ignore-close] [--lifetime <ms>] [<module path>...]
//
// Every module is loaded before the window exists, so a test that finds the window can rely on
// the modules being listed. The title is "Stand-in browser <process id>". The process ends when
// the window is closed, or after the lifetime (60 s unless given) so that a forgotten one goes.
// Exit codes: 0 closed, 1 lifetime over, 2 bad arguments, 3 a module did not load, 4 no window.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
bool ignoreClose = false;
int exitCode = 0;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      if (ignoreClose) return 0;  // a browser that hangs on to its window
      ::DestroyWindow(window);
      return 0;
    case WM_TIMER:
      if (wParam == kLifetimeTimer) {
        exitCode = 1;
        ::DestroyWindow(window);
        return 0;
      }
      break;
    case WM_DESTROY:
      ::PostQuitMessage(exitCode);
      return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const wchar_t* className = L"IEFrame";
  UINT lifetimeMs = 60000;
  for (int i = 1; i < __argc; ++i) {
    const std::wstring arg = __wargv[i];
    if (arg == L"--lower-case-class") {
      className = L"ieframe";
    } else if (arg == L"--ignore-close") {
      ignoreClose = true;
    } else if (arg == L"--lifetime" && i + 1 < __argc) {
      lifetimeMs = static_cast<UINT>(std::wcstoul(__wargv[++i], nullptr, 10));
    } else if (arg.starts_with(L"--")) {
      return 2;
    } else if (::LoadLibraryW(arg.c_str()) == nullptr) {
      // Loaded for real (not as data), so that the module shows in the process's module list.
      return 3;
    }
  }

  WNDCLASSW frameClass = {};
  frameClass.lpfnWndProc = FrameProc;
  frameClass.hInstance = instance;
  frameClass.lpszClassName = className;
  if (!::RegisterClassW(&frameClass)) return 4;
  const std::wstring title = L"Stand-in browser " + std::to_wstring(::GetCurrentProcessId());
  HWND frame = ::CreateWindowExW(0, className, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                 400, 300, nullptr, nullptr, instance, nullptr);
  if (frame == nullptr) return 4;
  ::SetTimer(frame, kLifetimeTimer, lifetimeMs, nullptr);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
