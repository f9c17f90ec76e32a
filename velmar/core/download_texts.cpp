#include "velmar/core/download_texts.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr uint32_t kBytesShownUpTo = 10240;
constexpr uint32_t kThrottleMs = 500;

std::wstring Format(const wchar_t* format, unsigned long value) {
  wchar_t text[32];
  std::swprintf(text, 32, format, value);
  return text;
}

struct StopText {
  uint32_t result;
  const wchar_t* text;
};

// Trailing spaces belong to the texts: pages compare them whole.
constexpr StopText kStopTexts[] = {
    {0x80004004,
     L"0x80004004 \uC0AC\uC6A9\uC790\uC5D0 \uC758\uD574 \uC791\uC5C5\uC774 "
     L"\uC911\uB2E8 \uB418\uC5C8\uC2B5\uB2C8\uB2E4."},
    {0x800C0002, L"0x800C0002 \uC798\uBABB\uB41C URL\uC785\uB2C8\uB2E4."},
    {0x800C0003,
     L"0x800C0003 \uC124\uC815\uB41C \uC778\uD130\uB137 \uC138\uC158\uC774 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4. "},
    {0x800C0004,
     L"0x800C0004 \uB300\uC0C1 \uC11C\uBC84\uC5D0 \uC5F0\uACB0\uD560 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4."},
    {0x800C0005,
     L"0x800c0005 \uC9C0\uC815\uD55C \uB9AC\uC18C\uC2A4\uB97C \uCC3E\uC744 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4. "},
    {0x800C0006,
     L"0x800c0006 \uC9C0\uC815\uD55C \uAC1C\uCCB4\uB97C \uCC3E\uC744 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4."},
    {0x800C0007,
     L"0x800C0007 \uC694\uCCAD\uD55C \uB9AC\uC18C\uC2A4\uAC00 \uC0AC\uC6A9\uD560 "
     L"\uC218 \uC788\uB294 \uB370\uC774\uD130\uAC00 \uC5C6\uC2B5\uB2C8\uB2E4. "},
    {0x800C0008,
     L"0x800C0008 \uC9C0\uC815\uD55C \uB9AC\uC18C\uC2A4 \uB2E4\uC6B4\uB85C\uB4DC\uC5D0 "
     L"\uC2E4\uD328\uD588\uC2B5\uB2C8\uB2E4."},
    {0x800C0009,
     L"0x800C0009 \uC774 \uB9AC\uC18C\uC2A4\uB294 \uC561\uC138\uC2A4 \uAD8C\uD55C\uC774 "
     L"\uD544\uC694\uD569\uB2C8\uB2E4."},
    {0x800C000A,
     L"0x800C000A \uC81C\uACF5\uD55C MIME \uD615\uC2DD\uC744 \uC11C\uBC84\uAC00 "
     L"\uC778\uC2DD\uD560 \uC218 \uC5C6\uC2B5\uB2C8\uB2E4. "},
    {0x800C000B, L"0x800C000B \uC2DC\uAC04\uC744 \uCD08\uACFC\uD588\uC2B5\uB2C8\uB2E4. "},
    {0x800C000C,
     L"0x800C000C \uC798\uBABB\uB41C \uC694\uCCAD\uC774\uAC70\uB098 \uC694\uCCAD "
     L"\uB0B4\uC6A9\uC744 \uC11C\uBC84\uAC00 \uC778\uC2DD\uD560 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4.  "},
    {0x800C000D,
     L"0x800C000D \uC54C \uC218 \uC5C6\uB294 \uD504\uB85C\uD1A0\uCF5C\uC744 "
     L"\uC9C0\uC815\uD588\uC2B5\uB2C8\uB2E4.  "},
    {0x800C000E,
     L"0x800C000E \uBCF4\uC548 \uBB38\uC81C\uAC00 \uBC1C\uC0DD\uD588\uC2B5\uB2C8\uB2E4. "},
    {0x800C000F,
     L"0x800C000F \uB370\uC774\uD130\uB97C \uB85C\uB4DC\uD560 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4."},
    {0x800C0010,
     L"0x800C0010 \uAC1C\uCCB4\uB97C \uD655\uC778\uD560 \uC218 "
     L"\uC5C6\uC2B5\uB2C8\uB2E4. "},
    {0x800C0014,
     L"0x800C0014 \uB9AC\uB514\uB809\uC158 \uBB38\uC81C\uAC00 "
     L"\uBC1C\uC0DD\uD588\uC2B5\uB2C8\uB2E4."},
    {0x800C0015, L"0x800C0015 INET_E_REDIRECT_TO_DIR Error"},
};

}  // namespace

std::wstring ByteCountsText(uint32_t received, uint32_t total) {
  const std::wstring receivedText = received <= kBytesShownUpTo ? Format(L"%luBytes", received)
                                                                : Format(L"%luKB", received / 1024);
  const std::wstring totalText =
      total <= kBytesShownUpTo ? Format(L"%luByes", total) : Format(L"%luKB", total / 1024);
  return receivedText + L" / " + totalText;
}

int DownloadPercent(uint32_t received, uint32_t total) {
  if (received == 0 || total == 0) return 0;
  return static_cast<int>(static_cast<uint64_t>(received) * 100 / total);
}

std::wstring StatusLineText(std::wstring_view status, int percent) {
  return std::wstring(status) + L" : " + std::to_wstring(percent) + L"%";
}

std::wstring DownloadingText(std::wstring_view fileName) {
  return std::wstring(fileName) + L" - Downloading...";
}

std::wstring DownloadedText(std::wstring_view fileName) {
  return std::wstring(fileName) + L" - Downloaded";
}

std::wstring DownloadDialogTitle(std::wstring_view title, std::wstring_view fileName) {
  if (!title.empty()) return std::wstring(title);
  return L"Downloading : " + std::wstring(fileName);
}

std::wstring StartFailureText(uint32_t result) {
  return L"\n\uB2E4\uC74C\uC758 \uC624\uB958\uB97C \uCC38\uACE0 \uD558\uC2ED\uC2DC\uC624."
         L"\nError Code : " +
         Format(L"0x%lX", result);
}

std::wstring StopMessage(uint32_t result, std::wstring_view serviceText) {
  if (result == 0) return {};
  if (!serviceText.empty()) return Format(L"0x%lX : ", result) + std::wstring(serviceText);
  for (const StopText& entry : kStopTexts) {
    if (entry.result == result) return entry.text;
  }
  return Format(L"0x%lx", result) + L" Unknown Error";
}

bool ThrottleAllows(uint32_t now, uint32_t& lastShown) {
  if (now - lastShown < kThrottleMs) return false;
  lastShown = now;
  return true;
}
