#pragma once

#include <windows.h>

#include <string>

#include "common/user_prompt.h"
#include "velmar/zone_settings.h"

// Adds the sites a page lists in its TrustZone property to the browser's trusted-sites zone,
// after asking the user once, when some are not there yet. One zone, URLZONE_TRUSTED, is read
// and written. Nothing is reported: any failure skips what depends on it.
class CTrustedSites {
 public:
  CTrustedSites(IZoneSettings& zones, IUserPrompt& prompt) : zones_(zones), prompt_(prompt) {}

  // sites: ";"-separated; owner: the window that owns the question (may be null).
  void Register(const std::wstring& sites, HWND owner);

 private:
  IZoneSettings& zones_;
  IUserPrompt& prompt_;
};
