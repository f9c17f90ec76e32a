#include "velmar/trusted_sites.h"

#include <urlmon.h>

#include <vector>

#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "velmar/core/trusted_site_list.h"
#include "velmar/resource.h"

void CTrustedSites::Register(const std::wstring& sites, HWND owner) {
  if (sites.empty() || !zones_.Available()) return;
  // Without the zone's present mappings nothing can be told missing, and a zone that cannot
  // list them takes none either: no question then.
  const std::optional<std::vector<std::wstring>> mappings = zones_.SiteMappings(URLZONE_TRUSTED);
  if (!mappings) return;
  const std::vector<std::wstring> entries = SplitSiteList(sites);
  std::vector<bool> mapped;
  bool anyMissing = false;
  for (const std::wstring& entry : entries) {
    mapped.push_back(IsSiteMapped(entry, *mappings));
    anyMissing = anyMissing || !mapped.back();
  }
  if (!anyMissing) return;

  const HINSTANCE module = ComModule::Instance();
  const std::wstring question =
      SiteQuestion(LoadResourceString(module, IDS_TRUSTED_SITES_QUESTION), entries);
  if (prompt_.Show(owner, question, LoadResourceString(module, IDS_WARNING_CAPTION),
                   MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) != IDYES) {
    return;
  }
  // Sites reached without a secure connection can be added only when the zone does not ask
  // for one.
  (void)zones_.AllowUnverifiedSites(URLZONE_TRUSTED);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!mapped[i]) (void)zones_.AddSiteMapping(URLZONE_TRUSTED, entries[i]);  // refused: skipped
  }
}
