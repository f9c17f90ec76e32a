#include "common/com_server/control_class_rows.h"

namespace {

constexpr auto kHkcr = RegRoot::ClassesRoot;
constexpr auto kOwned = KeyOwnership::Owned;
constexpr auto kReplaced = KeyOwnership::Replaced;

constexpr RegistryRow kRows[] = {
    {kHkcr, L"%PROGID%.1", L"", Text(L"%NAME%"), kOwned},
    {kHkcr, L"%PROGID%.1\\CLSID", L"", Text(L"%CLSID%"), kOwned},
    {kHkcr, L"%PROGID%", L"", Text(L"%NAME%"), kOwned},
    {kHkcr, L"%PROGID%\\CLSID", L"", Text(L"%CLSID%"), kOwned},
    {kHkcr, L"%PROGID%\\CurVer", L"", Text(L"%PROGID%.1"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%", L"", Text(L"%NAME%"), kReplaced},
    {kHkcr, L"CLSID\\%CLSID%\\ProgID", L"", Text(L"%PROGID%.1"), kOwned},
    {kHkcr, L"CLSID\\%CLSID%\\VersionIndependentProgID", L"", Text(L"%PROGID%"), kOwned},
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

std::span<const RegistryRow> ControlClassRows() { return kRows; }
