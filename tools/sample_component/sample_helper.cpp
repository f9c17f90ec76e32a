// A plain module shipped beside a component's main module: no COM, nothing to register.
#include <windows.h>

extern "C" DWORD SampleHelperVersion() { return MAKELONG(1, 1); }
