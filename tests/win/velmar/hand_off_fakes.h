#pragma once

// Steered stand-ins for the platform services of Update's real steps, and helpers to act while
// a modal box runs.
#include <gtest/gtest.h>

#include <windows.h>

#include <softpub.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/user_prompt.h"
#include "velmar/hand_off_platform.h"
#include "velmar/trust_provider.h"
#include "velmar/zone_settings.h"

// The system's trust verification, with its verdicts replaced where a test says: the full
// verification's result (hash-only ones and closing pass through), and the chain policy's.
class SteeredTrust final : public ITrustProvider {
 public:
  LONG VerifyTrust(WINTRUST_DATA& data) override {
    const bool hashOnly = (data.dwProvFlags & WTD_HASH_ONLY_FLAG) != 0;
    const LONG real = SystemTrustProvider().VerifyTrust(data);
    if (data.dwStateAction == WTD_STATEACTION_CLOSE) {
      calls.push_back(L"close");
      return real;
    }
    calls.push_back(hashOnly ? L"verify hash" : L"verify");
    return !hashOnly && verifyResult ? *verifyResult : real;
  }
  LONG ChainPolicyError(PCCERT_CHAIN_CONTEXT chain, DWORD flags) override {
    calls.push_back(flags == CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS
                        ? L"chain ignoring time"
                        : L"chain " + std::to_wstring(flags));
    const LONG real = SystemTrustProvider().ChainPolicyError(chain, flags);
    return chainResult ? *chainResult : real;
  }

  std::optional<LONG> verifyResult;
  std::optional<LONG> chainResult;
  std::vector<std::wstring> calls;
};

// The publisher gate and the process start, recorded; processes start for real unless a test
// says otherwise, and a test may look around while the start is under way.
class RecordingPlatform final : public IHandOffPlatform {
 public:
  bool ChecksPublisher() override { return checksPublisher; }
  bool StartProcess(const std::wstring& application, const std::wstring& commandLine) override {
    starts.push_back({application, commandLine});
    if (duringStart) duringStart(commandLine);
    if (!startReally) {
      ::SetLastError(startError);
      return startError == ERROR_SUCCESS;
    }
    return SystemHandOffPlatform().StartProcess(application, commandLine);
  }

  struct Start {
    std::wstring application;
    std::wstring commandLine;
  };
  bool checksPublisher = true;
  bool startReally = true;
  DWORD startError = ERROR_SUCCESS;  // when not starting really: success, or this failure
  std::function<void(const std::wstring& commandLine)> duringStart;
  std::vector<Start> starts;
};

// Message boxes answered as scripted, each one recorded.
class ScriptedPrompt final : public IUserPrompt {
 public:
  struct Shown {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT style;
  };
  int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) override {
    shown.push_back({owner, text, caption, style});
    return answer;
  }
  int answer = IDOK;
  std::vector<Shown> shown;
};

// Security zones in memory: site mappings per zone, the zone's flags, and every call made.
class FakeZones final : public IZoneSettings {
 public:
  bool Available() override { return available; }
  std::optional<std::vector<std::wstring>> SiteMappings(DWORD zone) override {
    calls.push_back(L"mappings " + std::to_wstring(zone));
    if (!listable) return std::nullopt;
    return mappings[zone];
  }
  HRESULT AllowUnverifiedSites(DWORD zone) override {
    calls.push_back(L"allow unverified " + std::to_wstring(zone));
    flags[zone] &= ~static_cast<DWORD>(ZAFLAGS_REQUIRE_VERIFICATION);
    return S_OK;
  }
  HRESULT AddSiteMapping(DWORD zone, const std::wstring& site) override {
    calls.push_back(L"add " + std::to_wstring(zone) + L" " + site);
    if (site.empty()) return E_INVALIDARG;  // as the platform refuses an empty pattern
    mappings[zone].push_back(site);
    return S_OK;
  }

  bool available = true;
  bool listable = true;
  std::map<DWORD, std::vector<std::wstring>> mappings;
  std::map<DWORD, DWORD> flags;
  std::vector<std::wstring> calls;
};

namespace hand_off_fakes {

inline std::map<UINT_PTR, std::function<void()>>& PendingActions() {
  static std::map<UINT_PTR, std::function<void()>> pending;
  return pending;
}

inline void CALLBACK RunPendingAction(HWND, UINT, UINT_PTR id, DWORD) {
  ::KillTimer(nullptr, id);
  const auto found = PendingActions().find(id);
  if (found == PendingActions().end()) return;
  const std::function<void()> run = std::move(found->second);
  PendingActions().erase(found);
  run();
}

inline BOOL CALLBACK FindDialog(HWND window, LPARAM out) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770") return TRUE;
  *reinterpret_cast<HWND*>(out) = window;
  return FALSE;
}

}  // namespace hand_off_fakes

// Runs action once, after about ms, from whatever message loop the thread is in (a modal
// box's included).
inline void AfterDelay(UINT ms, std::function<void()> action) {
  const UINT_PTR timer = ::SetTimer(nullptr, 0, ms, &hand_off_fakes::RunPendingAction);
  hand_off_fakes::PendingActions()[timer] = std::move(action);
}

// The wait box of this thread, while one is up.
inline HWND WaitBox() {
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &hand_off_fakes::FindDialog,
                      reinterpret_cast<LPARAM>(&found));
  return found;
}
