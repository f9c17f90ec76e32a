#pragma once

#include <string>

// One line (text and "\n") in UTF-8 on standard output or standard error, unbuffered, so that
// the two keep their order in a terminal.
void PrintLine(const std::wstring& text);
void PrintErrorLine(const std::wstring& text);
