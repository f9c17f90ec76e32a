#pragma once

#include <windows.h>

#include <string>

// What Update hands to the external installer's hand-off.
struct HandOffRequest {
  std::wstring installerPath;
  std::wstring descriptorUrl;     // absolute when the page could resolve it
  std::wstring installerInfoXml;  // the InstallerInfoXML property
  std::wstring pageBaseUrl;       // empty when the page gave none
  bool showWaitDialog = true;
  bool saveXml = false;
  HWND owner = nullptr;  // owner of any window the steps show
};

// The hand-off's outcome: 0 or -2 completed, -1 nothing to report, 2000 and above the
// installer's own code with its text, anything else one of the control's message numbers.
struct HandOffResult {
  LONG code = 0;
  std::wstring message;
};

// The working steps of Update beyond the control's own: trusted-sites registration and the
// hand-off to the external installer (which reads the descriptor, checks versions and the
// installer's publisher). Tests put a scripted one in their place.
class IUpdateSteps {
 public:
  virtual ~IUpdateSteps() = default;
  virtual void RegisterTrustedSites(const std::wstring& sites, HWND owner) = 0;
  virtual HandOffResult HandOff(const HandOffRequest& request) = 0;
};

// The steps the control uses unless told otherwise.
IUpdateSteps& DefaultUpdateSteps();
