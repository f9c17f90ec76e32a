#include "installer/core/run_mode.h"

std::wstring_view CommandLineTail(std::wstring_view commandLine) {
  size_t i = 0;
  if (!commandLine.empty() && commandLine[0] == L'"') {
    const size_t close = commandLine.find(L'"', 1);
    i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
  } else {
    while (i < commandLine.size() && commandLine[i] != L' ' && commandLine[i] != L'\t') ++i;
  }
  while (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
  return commandLine.substr(i);
}

RunMode RunModeFromCommandLine(std::wstring_view tail) {
  int mode = 0;
  if (tail.size() == 1 && tail[0] >= L'1' && tail[0] <= L'7') {
    mode = tail[0] - L'0';
  } else if (!tail.empty()) {
    return RunMode{};
  }
  return RunMode{(mode & 1) == 0, (mode & 2) != 0, (mode & 4) != 0};
}
