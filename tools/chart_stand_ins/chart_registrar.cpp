// Stands in for the chart control's registration program: "<file>" registers the control,
// "/u <file>" unregisters it. The file is resolved against the current directory. No window;
// the exit code is 0 on success.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

namespace {

enum Exit : int { kOk = 0, kUsage = 1, kNotLoaded = 2, kNoEntry = 3, kEntryFailed = 4 };

using EntryPoint = HRESULT(STDAPICALLTYPE*)();

int Run(const wchar_t* file, bool unregister) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetFullPathNameW(file, MAX_PATH, path, nullptr);
  if (length == 0 || length >= MAX_PATH) return kUsage;
  // The full path: a bare name would send LoadLibrary down the whole search order.
  HMODULE module = ::LoadLibraryW(path);
  if (module == nullptr) return kNotLoaded;
  const auto entry = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(
      ::GetProcAddress(module, unregister ? "DllUnregisterServer" : "DllRegisterServer")));
  int result = kNoEntry;
  if (entry != nullptr) result = SUCCEEDED(entry()) ? kOk : kEntryFailed;
  ::FreeLibrary(module);
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (args == nullptr) return kUsage;
  const bool unregister = count == 3 && ::lstrcmpiW(args[1], L"/u") == 0;
  int result = kUsage;
  if (count == 2 || unregister) {
    // Controls may touch COM while they register, as they would under the real program.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    result = Run(args[count - 1], unregister);
    if (SUCCEEDED(com)) ::CoUninitialize();
  }
  ::LocalFree(args);
  return result;
}
