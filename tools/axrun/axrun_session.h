#pragma once

#include <windows.h>

#include <wrl/client.h>

#include <string>
#include <utility>

#include "tools/axrun/axrun_object.h"
#include "tools/axrun/box_answerer.h"
#include "tools/axrun/command_line.h"
#include "tools/axrun/run_state.h"
#include "tools/axrun/script_host.h"
#include "tools/control_host/control_host.h"

// One run of axrun, in the order a browser takes a page with the OBJECT tag above the script:
// create the control, site it, load its PARAMs, activate it in a window (unless deferred), run
// the script's global code with the control and `axrun` as named items, let messages flow
// briefly, then close the script engine and the control. Needs OLE on the thread and
// ComModule::Init with the program's module (for the `axrun` object's type library).
class CAxrunSession {
 public:
  explicit CAxrunSession(AxrunOptions options) : options_(std::move(options)) {}
  CAxrunSession(const CAxrunSession&) = delete;
  CAxrunSession& operator=(const CAxrunSession&) = delete;

  // The exit code (see CRunState); messages go to stdout and stderr as the run goes.
  int Run();

 private:
  bool ReadScript();
  bool PreparePage();
  bool StartScript();
  void OnEvent(const FiredEvent& event, ScopedVariant& answer);
  void OnScriptError(const ScriptError& error);
  int Finish();

  AxrunOptions options_;
  CRunState state_;
  std::wstring code_;
  CControlHost host_;
  CBoxAnswerer boxes_;
  Microsoft::WRL::ComPtr<CScriptHost> script_;
  bool scriptRunning_ = false;
};
