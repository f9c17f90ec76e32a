#pragma once

#include <string>
#include <utility>
#include <vector>

// What axrun was asked to do.
struct AxrunOptions {
  std::wstring pageUrl;  // empty: the script's folder (or the current one) as file:
  std::wstring itemName = L"control";
  bool bindHost = true;
  bool defer = false;    // activate only when the script calls axrun.Activate()
  std::wstring script;   // empty: no script
  std::wstring control;  // ProgID, {CLSID} or DLL path
  std::vector<std::pair<std::wstring, std::wstring>> params;
  bool help = false;
};

// Reads the arguments after the program name. False, with *error saying why, for a command line
// that cannot run; *options is then partly filled.
bool ParseCommandLine(const std::vector<std::wstring>& args, AxrunOptions* options,
                      std::wstring* error);

// The usage text: several lines, with no line break after the last.
const wchar_t* UsageText();
