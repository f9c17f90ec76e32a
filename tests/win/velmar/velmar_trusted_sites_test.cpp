// Trusted-sites registration: the page's TrustZone list against the zone's mappings, one
// question, and the changes made on Yes; on zones in memory, and on the system's under Wine.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <urlmon.h>

#include <string>
#include <vector>

#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "tests/win/velmar/hand_off_fakes.h"
#include "velmar/resource.h"
#include "velmar/trusted_sites.h"
#include "velmar/update_steps.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const HWND kOwner = reinterpret_cast<HWND>(0x1234);

class VelmarTrustedSites : public testing::Test {
 protected:
  void SetUp() override { ComModule::Init(::GetModuleHandleW(nullptr)); }

  std::wstring Question(const std::vector<std::wstring>& sites) {
    std::wstring text = LoadResourceString(::GetModuleHandleW(nullptr), IDS_TRUSTED_SITES_QUESTION);
    for (const std::wstring& site : sites) text += L"\r\n" + site;
    return text;
  }

  FakeZones zones_;
  ScriptedPrompt prompt_;
};

TEST_F(VelmarTrustedSites, MissingSitesAreAddedAfterOneYes) {
  zones_.mappings[URLZONE_TRUSTED] = {L"http://a.example"};
  zones_.flags[URLZONE_TRUSTED] = ZAFLAGS_REQUIRE_VERIFICATION | ZAFLAGS_ADD_SITES;
  prompt_.answer = IDYES;
  CTrustedSites(zones_, prompt_)
      .Register(L"http://b.example;http://a.example/app;c.example", kOwner);
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].owner, kOwner);
  EXPECT_EQ(prompt_.shown[0].text,
            Question({L"http://b.example", L"http://a.example/app", L"c.example"}));
  EXPECT_EQ(prompt_.shown[0].caption, L"Warning");
  EXPECT_EQ(prompt_.shown[0].style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_TOPMOST));
  EXPECT_THAT(zones_.calls, ElementsAre(L"mappings 2", L"allow unverified 2",
                                        L"add 2 http://b.example", L"add 2 c.example"));
  EXPECT_EQ(zones_.flags[URLZONE_TRUSTED], static_cast<DWORD>(ZAFLAGS_ADD_SITES));
}

TEST_F(VelmarTrustedSites, EmptyEntriesAreShownAndTheirMappingFailsQuietly) {
  prompt_.answer = IDYES;
  CTrustedSites(zones_, prompt_).Register(L"a;;b", nullptr);
  ASSERT_EQ(prompt_.shown.size(), 1u);
  EXPECT_EQ(prompt_.shown[0].text, Question({L"a", L"", L"b"}));
  EXPECT_THAT(zones_.calls,
              ElementsAre(L"mappings 2", L"allow unverified 2", L"add 2 a", L"add 2 ", L"add 2 b"));
  EXPECT_THAT(zones_.mappings[URLZONE_TRUSTED], ElementsAre(L"a", L"b"));
}

// Each row: nothing is changed, and no question is asked unless the row says so.
TEST_F(VelmarTrustedSites, NothingChangesWithoutAMissingSiteOrAYes) {
  const struct {
    const char* name;
    std::wstring sites;
    bool available;
    bool listable;
    int answer;
    bool asks;
    std::vector<std::wstring> calls;
  } cases[] = {
      {"no list", L"", true, true, IDYES, false, {}},
      {"all mapped",
       L"http://a.example;http://a.example/x",
       true,
       true,
       IDYES,
       false,
       {L"mappings 2"}},
      {"only separators and backslashes", L"\\\\", true, true, IDYES, false, {L"mappings 2"}},
      {"answered no", L"http://new.example", true, true, IDNO, true, {L"mappings 2"}},
      {"no managers", L"http://new.example", false, true, IDYES, false, {}},
      {"mappings not listed", L"http://new.example", true, false, IDYES, false, {L"mappings 2"}},
  };
  for (const auto& c : cases) {
    FakeZones zones;
    zones.mappings[URLZONE_TRUSTED] = {L"http://a.example"};
    zones.flags[URLZONE_TRUSTED] = ZAFLAGS_REQUIRE_VERIFICATION;
    zones.available = c.available;
    zones.listable = c.listable;
    ScriptedPrompt prompt;
    prompt.answer = c.answer;
    CTrustedSites(zones, prompt).Register(c.sites, kOwner);
    EXPECT_EQ(prompt.shown.size(), c.asks ? 1u : 0u) << c.name;
    EXPECT_EQ(zones.calls, c.calls) << c.name;
    EXPECT_EQ(zones.flags[URLZONE_TRUSTED], static_cast<DWORD>(ZAFLAGS_REQUIRE_VERIFICATION))
        << c.name;
  }
}

// Wine's security manager cannot list mappings: the real steps then ask nothing.
TEST_F(VelmarTrustedSites, SystemZonesThatCannotListMappingsAskNothing) {
  const std::unique_ptr<IZoneSettings> system = NewSystemZoneSettings();
  ASSERT_TRUE(system->Available());
  EXPECT_EQ(system->SiteMappings(URLZONE_TRUSTED), std::nullopt);
  HandOffServices services;
  services.prompt = &prompt_;
  CUpdateSteps steps(services, nullptr);
  steps.RegisterTrustedSites(L"http://kovira.example", kOwner);
  EXPECT_THAT(prompt_.shown, IsEmpty());
}

}  // namespace
