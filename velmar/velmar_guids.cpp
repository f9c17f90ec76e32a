// The one definition of the type library's ids.
#include <windows.h>

#include <initguid.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wwrite-strings"
#include "velmar_typelib.h"
#pragma GCC diagnostic pop
