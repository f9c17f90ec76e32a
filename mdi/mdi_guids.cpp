// The one definition of the type library's ids.
#include <windows.h>

#include <initguid.h>

#include "mdi_typelib.h"
