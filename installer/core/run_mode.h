#pragma once

#include <string_view>

// What the one-digit start-up argument selects.
struct RunMode {
  bool autoStart = false;            // hide Install and start the run by itself
  bool confirmBrowserClose = false;  // ask before closing browser windows
  bool finalMessage = false;         // say so when the run has completed

  friend bool operator==(const RunMode&, const RunMode&) = default;
};

// The text after the program name, as the program's entry point receives it: the program name
// (quoted or not) and the blanks after it are dropped; anything else is kept as it stands.
std::wstring_view CommandLineTail(std::wstring_view commandLine);

// The mode for a command-line tail. Only "" and "1" to "7" select a mode; anything else
// (including "0", a trailing blank or two arguments) is manual start with nothing asked.
// Read as a number: bit 0 manual start, bit 1 confirm browser close, bit 2 final message.
RunMode RunModeFromCommandLine(std::wstring_view tail);
