#pragma once

#include <oleauto.h>

#include "common/com_server/variant.h"

// Moves an owned value into a caller's out-parameter: the caller clears it from then on.
inline void HandOver(ScopedVariant& owned, VARIANT* out) {
  *out = owned.Get();
  ::VariantInit(owned.Pointer());  // emptied without clearing: the value now lives in *out
}
