#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The browser's security zones as trusted-sites registration uses them, through the platform's
// Internet security and zone managers; tests put a fake in their place (Wine's security manager
// does not implement the mapping calls).
class IZoneSettings {
 public:
  virtual ~IZoneSettings() = default;
  // Whether both managers are there; nothing else works without them.
  virtual bool Available() = 0;
  // Every site mapping of the zone; nullopt when they cannot be listed.
  virtual std::optional<std::vector<std::wstring>> SiteMappings(DWORD zone) = 0;
  // Reads the zone's attributes, clears ZAFLAGS_REQUIRE_VERIFICATION when set and writes them
  // back (in either case).
  virtual HRESULT AllowUnverifiedSites(DWORD zone) = 0;
  // Maps the site pattern to the zone, creating the mapping.
  virtual HRESULT AddSiteMapping(DWORD zone, const std::wstring& site) = 0;
};

// A session with the system's managers, made when it is first asked; they go with it.
std::unique_ptr<IZoneSettings> NewSystemZoneSettings();
