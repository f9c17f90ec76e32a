#include "velmar/core/trusted_site_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Sites = std::vector<std::wstring>;

TEST(SplitSiteList, SemicolonsEndEntriesAndBackslashesAreDropped) {
  const struct {
    const wchar_t* text;
    Sites sites;
  } cases[] = {
      {L"", {}},
      {L"a.example", {L"a.example"}},
      {L"a;;b", {L"a", L"", L"b"}},
      {L";a", {L"", L"a"}},
      {L";", {L""}},
      {L"a;", {L"a"}},
      {L"a;;", {L"a", L""}},
      {L"\\\\server\\share;x", {L"servershare", L"x"}},
      {L"a;\\", {L"a"}},  // what remains after the last ";" is empty: no entry
      {L" http://a.example \r\n;b", {L" http://a.example \r\n", L"b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitSiteList(c.text), c.sites) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(SplitSiteList, AnEntryKeepsAtMostItsLimit) {
  const std::wstring longSite(kMaxSiteLength + 100, L'x');
  const Sites sites = SplitSiteList(longSite + L";b");
  ASSERT_EQ(sites.size(), 2u);
  EXPECT_EQ(sites[0], std::wstring(kMaxSiteLength, L'x'));
  EXPECT_EQ(sites[1], L"b");
}

TEST(IsSiteMapped, AnEntryContainingAMappingCountsAsMapped) {
  const Sites mappings = {L"http://a.example", L"*.b.example"};
  EXPECT_TRUE(IsSiteMapped(L"http://a.example", mappings));
  EXPECT_TRUE(IsSiteMapped(L"http://a.example/app", mappings));  // a prefix is enough
  EXPECT_TRUE(IsSiteMapped(L"x*.b.example", mappings));
  EXPECT_FALSE(IsSiteMapped(L"HTTP://A.EXAMPLE", mappings));  // case counts
  EXPECT_FALSE(IsSiteMapped(L"http://a.exampl", mappings));
  EXPECT_FALSE(IsSiteMapped(L"", mappings));
  EXPECT_FALSE(IsSiteMapped(L"http://a.example", {}));
}

TEST(SiteQuestion, ListsEverySiteOnALineOfItsOwn) {
  EXPECT_EQ(SiteQuestion(L"Add?", {L"a", L"", L"b"}), L"Add?\r\na\r\n\r\nb");
  EXPECT_EQ(SiteQuestion(L"Add?", {}), L"Add?");
}

}  // namespace
