// A minimal in-process server built on the framework: one class, registration rows of every kind
// and an embedded type library.
#include "tests/win/com_server/probe_server.h"

#include <windows.h>

#include <initguid.h>

#include "common/com_server/server_entry_points.h"
#include "probe.h"

namespace {

class Probe final : public ServerObject<IComServerProbe> {
 public:
  STDMETHODIMP Answer(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = PROBE_ANSWER;
    return S_OK;
  }
};

const ClassEntry kClasses[] = {{__uuidof(ComServerProbe), &CreateObject<Probe>}};

constexpr auto kOwned = KeyOwnership::Owned;
constexpr auto kShared = KeyOwnership::Shared;
constexpr auto kHkcr = RegRoot::ClassesRoot;
constexpr auto kHkcu = RegRoot::CurrentUser;

constexpr RegistryRow kRows[] = {
    {kHkcr, L"CLSID\\%CLSID%", L"", Text(PROBE_DESCRIPTION), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\InprocServer32", L"", Text(L"%MODULE%"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", Text(L"Apartment"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\ProgID", L"", Text(PROBE_PROGID), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\VersionIndependentProgID", L"", Text(PROBE_VERSIONLESS_PROGID),
     kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\TypeLib", L"", Text(L"%LIBID%"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\Control", L"", NoValue(), kOwned},
    {kHkcr, PROBE_PROGID, L"", Text(PROBE_DESCRIPTION), kOwned},
    {kHkcr, PROBE_PROGID L"\\CLSID", L"", Text(L"%CLSID%"), kOwned},
    {kHkcr, PROBE_VERSIONLESS_PROGID, L"", Text(PROBE_DESCRIPTION), kOwned},
    {kHkcr, PROBE_VERSIONLESS_PROGID L"\\CurVer", L"", Text(PROBE_PROGID), kOwned},
    {kHkcr, PROBE_SHARED_CLASS_KEY, L"Probe", Text(L"%CLSID%"), kShared},
    {kHkcu, PROBE_USER_KEY, L"Installed", Number(1), kOwned},
    {kHkcu, PROBE_SHARED_USER_KEY, L"Probe", Number(PROBE_ANSWER), kShared},
};

}  // namespace

std::span<const ClassEntry> ServerClasses() { return kClasses; }

const ServerDescription& ServerRegistration() {
  static const Substitution substitutions[] = {{L"CLSID", GuidText(__uuidof(ComServerProbe))},
                                               {L"LIBID", GuidText(LIBID_KoviraComServerProbeLib)}};
  static const ServerDescription description = {kRows, substitutions, true};
  return description;
}
