#pragma once

#include <windows.h>

#include <functional>

// Runs the thread's message loop for about milliseconds, or until stop() says so (checked after
// each message) or WM_QUIT arrives (it is posted again for an outer loop). translate, when given,
// sees each message first and returns true for one it has handled itself.
void PumpMessages(DWORD milliseconds, const std::function<bool()>& stop = nullptr,
                  const std::function<bool(MSG&)>& translate = nullptr);
