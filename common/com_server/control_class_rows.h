#pragma once

#include <span>

#include "common/com_server/registry_rows.h"

// The registration of one ActiveX control class, as rows: its version-independent and versioned
// ProgIDs, its class key (replaced whole) with the in-process server, apartment threading, the
// control and insertable categories, toolbox bitmap 101, MiscStatus and its type library.
// Placeholders: CLSID, LIBID, PROGID (the version-independent one; ".1" is the versioned one)
// and NAME (the class's display name).
std::span<const RegistryRow> ControlClassRows();
