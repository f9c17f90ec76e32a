#pragma once

// Names the probe server registers, shared by the server and its tests.
#define PROBE_PROGID L"Kovira.ComServerProbe.1"
#define PROBE_VERSIONLESS_PROGID L"Kovira.ComServerProbe"
#define PROBE_DESCRIPTION L"Kovira COM Server Probe"
// Stand-ins for keys other modules also write to.
#define PROBE_SHARED_CLASS_KEY L"Kovira.ComServerProbe.Shared"
#define PROBE_USER_KEY L"Software\\Kovira Tests\\ComServerProbe"
#define PROBE_SHARED_USER_KEY L"Software\\Kovira Tests\\ComServerProbeShared"
#define PROBE_ANSWER 42
