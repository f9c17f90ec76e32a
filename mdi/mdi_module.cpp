// MDI.dll as a server: its one creatable class, its registration and its type library. Views
// are made only by the frame and are never registered.
#include <windows.h>

#include "common/com_server/control_class_rows.h"
#include "common/com_server/server_entry_points.h"
#include "mdi/mdi_frame.h"

namespace {

const ClassEntry kClasses[] = {{CLSID_MDIFrame, &CreateObject<CMDIFrame>}};

}  // namespace

std::span<const ClassEntry> ServerClasses() { return kClasses; }

const ServerDescription& ServerRegistration() {
  static const Substitution substitutions[] = {{L"CLSID", GuidText(CLSID_MDIFrame)},
                                               {L"LIBID", GuidText(LIBID_MDILib)},
                                               {L"PROGID", L"MDI.MDIFrame"},
                                               {L"NAME", L"MDIFrame Class"}};
  static const ServerDescription description = {ControlClassRows(), substitutions, true};
  return description;
}
