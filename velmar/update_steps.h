#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "velmar/hand_off_services.h"

class CWaitDlg;
class IZoneSettings;

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
  // Ends a hand-off still running (the control's work ends while its box is up), so that it
  // returns at once with -1; nothing when none runs.
  virtual void EndHandOff() = 0;
};

// The real steps: the wait dialog and the trusted-sites question, on the platform's services
// (or those a test gives) and the system's security zones (or a stand-in for them).
class CUpdateSteps final : public IUpdateSteps {
 public:
  CUpdateSteps() = default;
  CUpdateSteps(const HandOffServices& services, IZoneSettings* zones)
      : services_(services), zones_(zones) {}
  CUpdateSteps(const CUpdateSteps&) = delete;
  CUpdateSteps& operator=(const CUpdateSteps&) = delete;

  void RegisterTrustedSites(const std::wstring& sites, HWND owner) override;
  // A dialog that cannot be shown has started nothing: 1001.
  HandOffResult HandOff(const HandOffRequest& request) override;
  void EndHandOff() override;

 private:
  HandOffServices services_;
  IZoneSettings* zones_ = nullptr;  // null: the system's, for each registration
  CWaitDlg* running_ = nullptr;     // the box of the hand-off under way
};

// The steps the control uses unless told otherwise.
IUpdateSteps& DefaultUpdateSteps();
