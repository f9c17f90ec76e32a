// MDI.dll as a server: its one creatable class, its registration and its type library. Views
// are made only by the frame and are never registered.
#include <windows.h>

#include "common/com_server/server_entry_points.h"
#include "mdi/mdi_frame.h"

namespace {

const ClassEntry kClasses[] = {{CLSID_MDIFrame, &CreateObject<CMDIFrame>}};

constexpr auto kHkcr = RegRoot::ClassesRoot;
constexpr auto kOwned = KeyOwnership::Owned;
constexpr auto kReplaced = KeyOwnership::Replaced;

constexpr RegistryRow kRows[] = {
    {kHkcr, L"MDI.MDIFrame.1", L"", Text(L"MDIFrame Class"), kOwned},
    {kHkcr, L"MDI.MDIFrame.1\\CLSID", L"", Text(L"%CLSID%"), kOwned},
    {kHkcr, L"MDI.MDIFrame", L"", Text(L"MDIFrame Class"), kOwned},
    {kHkcr, L"MDI.MDIFrame\\CLSID", L"", Text(L"%CLSID%"), kOwned},
    {kHkcr, L"MDI.MDIFrame\\CurVer", L"", Text(L"MDI.MDIFrame.1"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%", L"", Text(L"MDIFrame Class"), kReplaced},
    {kHkcr, L"CLSID\\%CLSID%\\ProgID", L"", Text(L"MDI.MDIFrame.1"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\VersionIndependentProgID", L"", Text(L"MDI.MDIFrame"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\Programmable", L"", NoValue(), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\InprocServer32", L"", Text(L"%MODULE%"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", Text(L"Apartment"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\Control", L"", NoValue(), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\Insertable", L"", NoValue(), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\ToolboxBitmap32", L"", Text(L"%MODULE%, 101"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\MiscStatus", L"", Text(L"0"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\MiscStatus\\1", L"", Text(L"131473"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\TypeLib", L"", Text(L"%LIBID%"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\Version", L"", Text(L"1.0"), kOwned},
};

}  // namespace

std::span<const ClassEntry> ServerClasses() { return kClasses; }

const ServerDescription& ServerRegistration() {
  static const Substitution substitutions[] = {{L"CLSID", GuidText(CLSID_MDIFrame)},
                                               {L"LIBID", GuidText(LIBID_MDILib)}};
  static const ServerDescription description = {kRows, substitutions, true};
  return description;
}
