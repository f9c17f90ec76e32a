#include "velmar/update_steps.h"

#include "velmar/resource.h"

namespace {

// Trusted-sites registration and the installer hand-off are not part of this build yet: the
// hand-off reports that the installer could not be run.
class CUpdateSteps final : public IUpdateSteps {
 public:
  void RegisterTrustedSites(const std::wstring&, HWND) override {}
  HandOffResult HandOff(const HandOffRequest&) override { return {IDS_INSTALLER_NOT_STARTED, {}}; }
};

}  // namespace

IUpdateSteps& DefaultUpdateSteps() {
  static CUpdateSteps steps;
  return steps;
}
