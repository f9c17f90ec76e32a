#include "velmar/zone_settings.h"

#include <urlmon.h>
#include <wrl/client.h>

#include "common/scoped_owner.h"

using Microsoft::WRL::ComPtr;

namespace {

class SystemZoneSettings final : public IZoneSettings {
 public:
  bool Available() override {
    if (!tried_) {
      tried_ = true;
      if (FAILED(::CoInternetCreateSecurityManager(nullptr, &security_, 0)) ||
          FAILED(::CoInternetCreateZoneManager(nullptr, &zones_, 0))) {
        security_.Reset();
        zones_.Reset();
      }
    }
    return security_ && zones_;
  }

  std::optional<std::vector<std::wstring>> SiteMappings(DWORD zone) override {
    if (!Available()) return std::nullopt;
    ComPtr<IEnumString> mappings;
    if (FAILED(security_->GetZoneMappings(zone, &mappings, 0)) || !mappings) return std::nullopt;
    std::vector<std::wstring> sites;
    for (;;) {
      ScopedCoTaskMem text;
      ULONG fetched = 0;
      if (mappings->Next(1, reinterpret_cast<LPOLESTR*>(text.Receive()), &fetched) != S_OK ||
          fetched != 1) {
        break;
      }
      if (text.Get() != nullptr) sites.emplace_back(static_cast<const wchar_t*>(text.Get()));
    }
    return sites;
  }

  HRESULT AllowUnverifiedSites(DWORD zone) override {
    if (!Available()) return E_UNEXPECTED;
    ZONEATTRIBUTES attributes = {sizeof(attributes)};
    const HRESULT read = zones_->GetZoneAttributes(zone, &attributes);
    if (FAILED(read)) return read;
    attributes.dwFlags &= ~static_cast<DWORD>(ZAFLAGS_REQUIRE_VERIFICATION);
    return zones_->SetZoneAttributes(zone, &attributes);
  }

  HRESULT AddSiteMapping(DWORD zone, const std::wstring& site) override {
    if (!Available()) return E_UNEXPECTED;
    return security_->SetZoneMapping(zone, site.c_str(), SZM_CREATE);
  }

 private:
  bool tried_ = false;
  ComPtr<IInternetSecurityManager> security_;
  ComPtr<IInternetZoneManager> zones_;
};

}  // namespace

std::unique_ptr<IZoneSettings> NewSystemZoneSettings() {
  return std::make_unique<SystemZoneSettings>();
}
