#include "velmar/core/update_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing::ElementsAre;

TEST(UpdateModeFromText, NamesAreReadInUpperCaseAndAnythingElseIsNewer) {
  const struct {
    const wchar_t* text;
    UpdateMode mode;
  } cases[] = {
      {L"ALWAYS", UPDATE_MODE_ALWAYS},   {L"always", UPDATE_MODE_ALWAYS},
      {L"Always", UPDATE_MODE_ALWAYS},   {L"NOTEXIST", UPDATE_MODE_NOTEXIST},
      {L"notsame", UPDATE_MODE_NOTSAME}, {L"NotSame", UPDATE_MODE_NOTSAME},
      {L"NEWER", UPDATE_MODE_NEWER},     {L"", UPDATE_MODE_NEWER},
      {L" ALWAYS", UPDATE_MODE_NEWER},   {L"ALWAYS ", UPDATE_MODE_NEWER},
      {L"ALWAYSX", UPDATE_MODE_NEWER},   {L"NOT SAME", UPDATE_MODE_NEWER},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UpdateModeFromText(c.text), c.mode) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(IsComponentName, AcceptsComponentInAnyCaseOnly) {
  for (const wchar_t* name : {L"COMPONENT", L"component", L"Component", L"cOmPoNeNt"}) {
    EXPECT_TRUE(IsComponentName(name)) << testing::PrintToString(std::wstring(name));
  }
  for (const wchar_t* name : {L"", L"COMPONENTS", L"COMPONEN", L"x:COMPONENT", L"Note"}) {
    EXPECT_FALSE(IsComponentName(name)) << testing::PrintToString(std::wstring(name));
  }
}

// The outcome table: each mode against installed lower, equal, higher, and field counts that
// differ with the earlier fields equal.
TEST(NeedsUpdateFor, FollowsTheOutcomeTable) {
  const wchar_t* required = L"2,0,0,5";
  const std::wstring lower = L"2,0,0,4";
  const std::wstring equal = L"2, 0, 0, 5";
  const std::wstring higher = L"2,0,1,0";
  const std::wstring shorter = L"2,0,0";
  const struct {
    UpdateMode mode;
    bool lower, equal, higher, differ;
  } rows[] = {
      {UPDATE_MODE_ALWAYS, true, true, true, true},
      {UPDATE_MODE_NEWER, true, false, false, true},
      {UPDATE_MODE_NOTEXIST, false, false, false, false},
      {UPDATE_MODE_NOTSAME, true, false, true, true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(NeedsUpdateFor(row.mode, lower, required), row.lower) << row.mode;
    EXPECT_EQ(NeedsUpdateFor(row.mode, equal, required), row.equal) << row.mode;
    EXPECT_EQ(NeedsUpdateFor(row.mode, higher, required), row.higher) << row.mode;
    EXPECT_EQ(NeedsUpdateFor(row.mode, shorter, required), row.differ) << row.mode;
  }
}

TEST(NeedsUpdateFor, AComponentWithoutAReadableVersionNeedsUpdatingInEveryMode) {
  for (const UpdateMode mode :
       {UPDATE_MODE_ALWAYS, UPDATE_MODE_NEWER, UPDATE_MODE_NOTEXIST, UPDATE_MODE_NOTSAME}) {
    EXPECT_TRUE(NeedsUpdateFor(mode, std::nullopt, L"1,0,0,0")) << mode;
  }
  // A missing required version is the empty text: one field, 0.
  EXPECT_FALSE(NeedsUpdateFor(UPDATE_MODE_NEWER, std::wstring(L"0"), L""));
  EXPECT_TRUE(NeedsUpdateFor(UPDATE_MODE_NEWER, std::wstring(L"1,0,0,0"), L""));
}

// A walk over scripted children that records which ones it read and which it asked about.
class Walk {
 public:
  explicit Walk(std::vector<ComponentEntry> children) : children_(std::move(children)) {}

  DescriptorOutcome Run(const std::wstring& updateAt) {
    return WalkComponents(
        children_.size(),
        [this](size_t i) {
          log.push_back(L"read " + std::to_wstring(i));
          return children_[i];
        },
        [this, updateAt](const ComponentEntry& entry) {
          log.push_back(L"ask " + entry.clsid.value_or(L"-"));
          return entry.clsid == updateAt;
        });
  }

  std::vector<std::wstring> log;

 private:
  std::vector<ComponentEntry> children_;
};

TEST(WalkComponents, SkipsOtherElementsAndStopsAtTheFirstComponentNeedingAnUpdate) {
  Walk walk({{L"Note", L"{n}", std::nullopt},
             {L"component", L"{a}", L"1,0,0,0"},
             {L"COMPONENT", L"{b}", std::nullopt},
             {L"COMPONENT", L"{c}", std::nullopt}});
  EXPECT_EQ(walk.Run(L"{b}"), DescriptorOutcome::kUpdateNeeded);
  EXPECT_THAT(walk.log, ElementsAre(L"read 0", L"read 1", L"ask {a}", L"read 2", L"ask {b}"));
}

TEST(WalkComponents, TellsNothingToUpdateFromNoComponentsAtAll) {
  Walk components({{L"COMPONENT", std::nullopt, std::nullopt}, {L"Component", L"{a}", L"1"}});
  EXPECT_EQ(components.Run(L"{z}"), DescriptorOutcome::kNothingToUpdate);
  EXPECT_THAT(components.log, ElementsAre(L"read 0", L"ask -", L"read 1", L"ask {a}"));

  Walk others({{L"Note", L"{a}", std::nullopt}, {L"COMPONENTS", L"{b}", std::nullopt}});
  EXPECT_EQ(others.Run(L"{a}"), DescriptorOutcome::kNothingToUpdate);
  EXPECT_THAT(others.log, ElementsAre(L"read 0", L"read 1"));

  Walk empty({});
  EXPECT_EQ(empty.Run(L"{a}"), DescriptorOutcome::kNoComponents);
  EXPECT_TRUE(empty.log.empty());
}

}  // namespace
