#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What the "Downloader" dialog shows, and the texts DownloadFile's events carry.

// "<received> / <total>": a count up to 10240 in bytes, a larger one in whole KB. The total is
// written "%dByes": pages read the text as it has always been written.
std::wstring ByteCountsText(uint32_t received, uint32_t total);
// received * 100 / total, without overflow; 0 while either is 0.
int DownloadPercent(uint32_t received, uint32_t total);
// "<status> : <percent>%".
std::wstring StatusLineText(std::wstring_view status, int percent);
std::wstring DownloadingText(std::wstring_view fileName);  // "<name> - Downloading..."
std::wstring DownloadedText(std::wstring_view fileName);   // "<name> - Downloaded"
// The page's title when it set one, else "Downloading : <name>".
std::wstring DownloadDialogTitle(std::wstring_view title, std::wstring_view fileName);

// What follows string 1008 when the transfer cannot start: a line asking to look at the code,
// and the code.
std::wstring StartFailureText(uint32_t result);
// The text a stopped binding's result is reported with: empty for success; "0x%X : " and the
// service's text when it gave one; else the line the result's table gives, or "0x<hex> Unknown
// Error".
std::wstring StopMessage(uint32_t result, std::wstring_view serviceText);

// Whether a throttled display update may show at `now` (a tick count): at least 500 ms after
// the last one shown (lastShown, updated when it may), counted across the tick's wrap.
bool ThrottleAllows(uint32_t now, uint32_t& lastShown);
