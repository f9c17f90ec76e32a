// axrun: hosts one ActiveX control as a browser page would and runs a JScript file against it.
// See UsageText() in command_line.cpp.
#include <windows.h>

#include <string>
#include <vector>

#include "common/com_initializer.h"
#include "common/com_server/com_module.h"
#include "tools/axrun/axrun_session.h"
#include "tools/axrun/command_line.h"
#include "tools/axrun/console.h"
#include "tools/axrun/run_state.h"

int wmain(int argc, wchar_t** argv) {
  (void)::SetConsoleOutputCP(CP_UTF8);  // a real console shows our UTF-8 as text; else no-op
  std::vector<std::wstring> args(argv + 1, argv + argc);
  AxrunOptions options;
  std::wstring error;
  if (!ParseCommandLine(args, &options, &error)) {
    PrintErrorLine(L"axrun: " + error);
    PrintErrorLine(UsageText());
    return CRunState::kCannotRun;
  }
  if (options.help) {
    PrintLine(UsageText());
    return CRunState::kSucceeded;
  }
  OleInitializer ole;
  if (!ole.Succeeded()) {
    PrintErrorLine(L"axrun: OLE did not start");
    return CRunState::kCannotRun;
  }
  // The `axrun` object's dispatch reads the type library embedded in this program.
  ComModule::Init(::GetModuleHandleW(nullptr));
  CAxrunSession session(std::move(options));
  return session.Run();
}
