#include "tools/axrun/command_line.h"

namespace {

// The item becomes a JScript identifier, and the prefix of its event functions.
bool IsScriptName(const std::wstring& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const wchar_t c = name[i];
    const bool letter =
        (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' || c == L'$';
    const bool digit = c >= L'0' && c <= L'9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::wstring>& args, AxrunOptions* options,
                      std::wstring* error) {
  size_t i = 0;
  // The value of the option at args[i]; false when it is the last argument.
  auto value_of = [&](std::wstring* value) {
    if (i + 1 >= args.size()) {
      *error = args[i] + L" needs a value";
      return false;
    }
    *value = args[++i];
    return true;
  };
  for (; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg.size() < 2 || arg[0] != L'-') break;
    if (arg == L"--help" || arg == L"-h") {
      options->help = true;
      return true;
    } else if (arg == L"--page") {
      if (!value_of(&options->pageUrl)) return false;
    } else if (arg == L"--name") {
      if (!value_of(&options->itemName)) return false;
      if (!IsScriptName(options->itemName) || options->itemName == L"axrun") {
        *error = L"--name " + options->itemName + L": not usable as a script name";
        return false;
      }
    } else if (arg == L"--script") {
      if (!value_of(&options->script)) return false;
    } else if (arg == L"--no-bind-host") {
      options->bindHost = false;
    } else if (arg == L"--defer") {
      options->defer = true;
    } else {
      *error = L"unknown option " + arg;
      return false;
    }
  }
  if (i >= args.size()) {
    *error = L"no control named";
    return false;
  }
  options->control = args[i++];
  for (; i < args.size(); ++i) {
    const size_t equals = args[i].find(L'=');
    if (equals == std::wstring::npos || equals == 0) {
      *error = L"expected name=value, not " + args[i];
      return false;
    }
    options->params.emplace_back(args[i].substr(0, equals), args[i].substr(equals + 1));
  }
  return true;
}

const wchar_t* UsageText() {
  return L"usage: axrun [--page URL] [--name ITEM] [--no-bind-host] [--defer] [--script FILE.js]\n"
         L"             CONTROL [name=value ...]\n"
         L"  CONTROL         a ProgID, a {CLSID}, or the path of a DLL (its first class, "
         L"unregistered)\n"
         L"  name=value      PARAMs the control loads through its property bag\n"
         L"  --page URL      the page relative URLs resolve against (default: the script's "
         L"folder)\n"
         L"  --name ITEM     the control's name in the script (default: control)\n"
         L"  --no-bind-host  offer the control no bind host service\n"
         L"  --defer         activate only when the script calls axrun.Activate()\n"
         L"  --script FILE   JScript to run; events call its functions ITEM_Event(arguments)\n"
         L"The script also sees `axrun`: Echo(text), Fail(text), Activate(), Pump(ms), "
         L"Quit(code),\n"
         L"AnswerBoxes(button) (\"ok\", \"yes\", \"no\", \"cancel\" or \"\") and "
         L"BoxesSeen.\n"
         L"Exit codes: 0 done, 1 Fail was called, 2 script error, 3 cannot run, n Quit(n).";
}
