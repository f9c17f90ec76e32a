#include "velmar/core/download_texts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(DownloadTexts, CountsPercentAndStatusLine) {
  const struct {
    uint32_t received, total;
    const wchar_t* counts;
    int percent;
  } cases[] = {
      {12000, 20480, L"11KB / 20KB", 58},
      {10240, 10240, L"10240Bytes / 10240Byes", 100},
      {10241, 0, L"10KB / 0Byes", 0},  // no size from the server
      {0, 5000, L"0Bytes / 5000Byes", 0},
      {0xFFFFFFFF, 0xFFFFFFFF, L"4194303KB / 4194303KB", 100},  // no overflow
      {0x80000000, 0xFFFFFFFF, L"2097152KB / 4194303KB", 50},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ByteCountsText(c.received, c.total), c.counts) << c.received << "/" << c.total;
    EXPECT_EQ(DownloadPercent(c.received, c.total), c.percent) << c.received << "/" << c.total;
  }
  EXPECT_EQ(StatusLineText(DownloadingText(L"a.exe"), 58), L"a.exe - Downloading... : 58%");
  EXPECT_EQ(StatusLineText(DownloadedText(L"a.exe"), 100), L"a.exe - Downloaded : 100%");
}

TEST(DownloadTexts, TitleIsThePagesUnlessEmpty) {
  EXPECT_EQ(DownloadDialogTitle(L"Downloading ...", L"a.exe"), L"Downloading ...");
  EXPECT_EQ(DownloadDialogTitle(L"", L"a.exe"), L"Downloading : a.exe");
}

TEST(DownloadTexts, StopMessagesComeFromTheServiceTheTableOrTheCode) {
  const struct {
    uint32_t result;
    const wchar_t* serviceText;
    const wchar_t* message;
  } cases[] = {
      {0, L"ignored", L""},
      {0x80004004, L"",
       L"0x80004004 \uC0AC\uC6A9\uC790\uC5D0 \uC758\uD574 \uC791\uC5C5\uC774 "
       L"\uC911\uB2E8 \uB418\uC5C8\uC2B5\uB2C8\uB2E4."},
      {0x800C0005, L"",
       L"0x800c0005 \uC9C0\uC815\uD55C \uB9AC\uC18C\uC2A4\uB97C \uCC3E\uC744 "
       L"\uC218 \uC5C6\uC2B5\uB2C8\uB2E4. "},
      {0x800C0015, L"", L"0x800C0015 INET_E_REDIRECT_TO_DIR Error"},
      {0x800C0011, L"", L"0x800c0011 Unknown Error"},
      {0x00000001, L"", L"0x1 Unknown Error"},
      {0x800C0005, L"not here", L"0x800C0005 : not here"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StopMessage(c.result, c.serviceText), c.message) << std::hex << c.result;
  }
  EXPECT_EQ(StartFailureText(0x800401E4),
            L"\n\uB2E4\uC74C\uC758 \uC624\uB958\uB97C \uCC38\uACE0 \uD558\uC2ED\uC2DC\uC624."
            L"\nError Code : 0x800401E4");
}

TEST(DownloadTexts, ThrottleShowsOneUpdatePerHalfSecondAcrossTheTicksWrap) {
  uint32_t last = 0;
  const struct {
    uint32_t now;
    bool shown;
  } steps[] = {{100, false},       {500, true},         {999, false},      {1000, true},
               {0xFFFFFF00, true}, {0x000000F3, false}, {0x000000F4, true}};
  for (const auto& step : steps) {
    EXPECT_EQ(ThrottleAllows(step.now, last), step.shown) << step.now;
  }
  EXPECT_EQ(last, 0xF4u);
}

}  // namespace
