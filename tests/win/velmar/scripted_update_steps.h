#pragma once

#include <string>
#include <vector>

#include "velmar/update_steps.h"

// Update's outside steps as a test scripts them: records every call, answers with a set result.
class ScriptedUpdateSteps final : public IUpdateSteps {
 public:
  void RegisterTrustedSites(const std::wstring& sites, HWND) override {
    calls.push_back(L"sites:" + sites);
  }
  HandOffResult HandOff(const HandOffRequest& request) override {
    calls.push_back(L"handoff");
    requests.push_back(request);
    return result;
  }

  HandOffResult result{-1, {}};
  std::vector<std::wstring> calls;
  std::vector<HandOffRequest> requests;
};
