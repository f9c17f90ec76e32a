#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include "common/scoped_owner.h"

// Stand-in browsers share the desktop with every test process: window class names are atoms of
// the whole session, read back as first spelled (while one process holds "IEFrame", another's
// "ieframe" frame reads as "IEFrame"), and the real installer closes any frame holding a catalog
// module. Tests that start stand-ins or the real program therefore take turns.
class StandInTurn {
 public:
  StandInTurn() : mutex_(::CreateMutexW(nullptr, FALSE, L"KoviraStandInBrowserTurn")) {
    const DWORD wait = mutex_ ? ::WaitForSingleObject(mutex_.Get(), 100000) : WAIT_FAILED;
    owned_ = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    if (!owned_) ADD_FAILURE() << "no turn for stand-in browsers";
  }
  ~StandInTurn() {
    if (owned_) ::ReleaseMutex(mutex_.Get());
  }
  StandInTurn(const StandInTurn&) = delete;
  StandInTurn& operator=(const StandInTurn&) = delete;

 private:
  ScopedHandle mutex_;
  bool owned_ = false;
};
