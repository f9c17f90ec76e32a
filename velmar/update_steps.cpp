#include "velmar/update_steps.h"

#include "common/com_server/com_module.h"
#include "velmar/resource.h"
#include "velmar/trusted_sites.h"
#include "velmar/wait_dlg.h"
#include "velmar/zone_settings.h"

void CUpdateSteps::RegisterTrustedSites(const std::wstring& sites, HWND owner) {
  if (sites.empty()) return;
  std::unique_ptr<IZoneSettings> system;
  IZoneSettings* zones = zones_;
  if (zones == nullptr) {
    system = NewSystemZoneSettings();
    zones = system.get();
  }
  CTrustedSites(*zones, *services_.prompt).Register(sites, owner);
}

HandOffResult CUpdateSteps::HandOff(const HandOffRequest& request) {
  CWaitDlg dialog(request, services_);
  CWaitDlg* const outer = running_;
  running_ = &dialog;
  const HWND active = ::GetActiveWindow();
  const HRESULT shown = dialog.DoModal(ComModule::Instance(), active ? active : request.owner);
  running_ = outer;
  if (FAILED(shown)) return {IDS_INSTALLER_NOT_STARTED, {}};
  const LONG code = static_cast<LONG>(dialog.Result());
  return {code, dialog.ResultText()};
}

void CUpdateSteps::EndHandOff() {
  if (running_ != nullptr) running_->End(kHandOffNoEvent);
}

IUpdateSteps& DefaultUpdateSteps() {
  static CUpdateSteps steps;
  return steps;
}
