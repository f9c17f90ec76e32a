// The one definition of the probe type library's ids.
#include <windows.h>

#include <initguid.h>

#include "probe_control_typelib.h"
