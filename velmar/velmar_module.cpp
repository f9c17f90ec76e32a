// Velmar.dll as a server: its one class, its registration and its type library.
#include <windows.h>

#include "common/com_server/control_class_rows.h"
#include "common/com_server/server_entry_points.h"
#include "velmar/velmar.h"

namespace {

const ClassEntry kClasses[] = {{CLSID_Velmar, &CreateObject<CVelmar>}};

}  // namespace

std::span<const ClassEntry> ServerClasses() { return kClasses; }

const ServerDescription& ServerRegistration() {
  static const Substitution substitutions[] = {{L"CLSID", GuidText(CLSID_Velmar)},
                                               {L"LIBID", GuidText(LIBID_VELMARLib)},
                                               {L"PROGID", L"Velmar.Velmar"},
                                               {L"NAME", L"Velmar Class"}};
  static const ServerDescription description = {ControlClassRows(), substitutions, true};
  return description;
}
