#include "installer/core/run_report.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Entry = std::pair<std::wstring, std::wstring>;

TEST(RunReport, AppendClearAndReadBack) {
  CRunReport report;
  EXPECT_EQ(report.Text(), L"");
  EXPECT_TRUE(report.Entries().empty());

  report.Append(L"Velmar.cab", L"[QXR-73046] No files.");
  EXPECT_EQ(report.Text(), L"Velmar.cab;[QXR-73046] No files.");
  report.Append(L"Orrin.cab", L"ok");
  EXPECT_EQ(report.Text(), L"Velmar.cab;[QXR-73046] No files.:Orrin.cab;ok");
  EXPECT_EQ(report.Entries(),
            (std::vector<Entry>{{L"Velmar.cab", L"[QXR-73046] No files."}, {L"Orrin.cab", L"ok"}}));

  report.Clear();
  EXPECT_EQ(report.Text(), L"");
  EXPECT_TRUE(report.Entries().empty());
  // No leading colon after a clear either.
  report.Append(L"a", L"b");
  EXPECT_EQ(report.Text(), L"a;b");
}

TEST(RunReport, LongRunEndsWithCompletion) {
  CRunReport report;
  for (int i = 0; i < 106; ++i)
    report.Append(L"Row" + std::to_wstring(i), L"[QXR-73046] No files.");
  report.Append(L"", L"[QXR-73051] Completed installation successfully.");
  const auto entries = report.Entries();
  ASSERT_EQ(entries.size(), 107u);
  EXPECT_EQ(entries.front(), (Entry{L"Row0", L"[QXR-73046] No files."}));
  EXPECT_EQ(entries[105], (Entry{L"Row105", L"[QXR-73046] No files."}));
  EXPECT_EQ(entries.back().second, L"[QXR-73051] Completed installation successfully.");
}

TEST(InsertPositional, ReplacesNumberedInsertsOnly) {
  EXPECT_EQ(InsertPositional(L"%1 is installed.", {L"Velmar.cab"}), L"Velmar.cab is installed.");
  EXPECT_EQ(InsertPositional(L"[QXR-73036]  %1[%2]file installation failed.", {L"A.cab", L"-1"}),
            L"[QXR-73036]  A.cab[-1]file installation failed.");
  EXPECT_EQ(InsertPositional(L"%2 then %1", {L"x", L"y"}), L"y then x");
  EXPECT_EQ(InsertPositional(L"%1 %2 %3", {L"a", L"b"}), L"a b %3");
  EXPECT_EQ(InsertPositional(L"100%", {L"a"}), L"100%");
  EXPECT_EQ(InsertPositional(L"%%1", {L"a"}), L"%a");
  EXPECT_EQ(InsertPositional(L"%0 %s", {L"a"}), L"%0 %s");
  // An insert that itself holds "%1" is not expanded again.
  EXPECT_EQ(InsertPositional(L"%1", {L"%1"}), L"%1");
  EXPECT_EQ(InsertPositional(L"", {}), L"");
}

}  // namespace
