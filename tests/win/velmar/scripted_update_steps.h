#pragma once

#include <functional>
#include <string>
#include <vector>

#include "velmar/update_steps.h"

// Update's outside steps as a test scripts them: records every call, answers with a set result,
// and runs what a test gives it while a step is under way (as the real steps pump messages).
class ScriptedUpdateSteps final : public IUpdateSteps {
 public:
  void RegisterTrustedSites(const std::wstring& sites, HWND) override {
    calls.push_back(L"sites:" + sites);
    if (duringSites) duringSites();
  }
  HandOffResult HandOff(const HandOffRequest& request) override {
    calls.push_back(L"handoff");
    requests.push_back(request);
    if (duringHandOff) duringHandOff();
    return result;
  }
  void EndHandOff() override { calls.push_back(L"end"); }

  HandOffResult result{-1, {}};
  std::vector<std::wstring> calls;
  std::vector<HandOffRequest> requests;
  std::function<void()> duringSites;
  std::function<void()> duringHandOff;
};
