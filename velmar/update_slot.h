#pragma once

#include <windows.h>

// The process's one place for a running Update, taken for the object's life when free: two
// updates at once would share the installer's saved descriptor copy.
class CUpdateSlot {
 public:
  CUpdateSlot() : taken_(::InterlockedCompareExchange(&busy_, 1, 0) == 0) {}
  ~CUpdateSlot() {
    if (taken_) ::InterlockedExchange(&busy_, 0);
  }
  CUpdateSlot(const CUpdateSlot&) = delete;
  CUpdateSlot& operator=(const CUpdateSlot&) = delete;

  bool Taken() const { return taken_; }

 private:
  static inline LONG busy_ = 0;
  bool taken_;
};
