#pragma once

#include <windows.h>
#include <oleauto.h>

#include "common/scoped_owner.h"

struct BstrTraits {
  using Handle = BSTR;
  static Handle Null() { return nullptr; }
  static void Close(Handle h) { ::SysFreeString(h); }
};
// Owns one BSTR.
using ScopedBstr = ScopedOwner<BstrTraits>;
