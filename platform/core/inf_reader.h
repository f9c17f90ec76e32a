#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads the INF inside a component CAB: which files the [Add.Code] section installs and how.
// The INF is untrusted; anything outside the narrow form we act on is refused with a reason.

// A file the [Add.Code] section of a code-download INF installs.
struct InfFileEntry {
  std::string name;      // as listed (key of the [Add.Code] line); always passes IsPlainMemberName
  std::string location;  // "thiscab", "ignore", or a URL; from file-win32-x86= if present, else
                         // file=; lower-cased for the two keywords
  std::string clsid;     // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" or empty
  bool hasFileVersion = false;
  uint16_t fileVersion[4] = {0, 0, 0, 0};  // minimum version from FileVersion=a,b,c,d (missing 0)
  int destDir = 0;  // 0: the download cache folder; 10: Windows directory; 11: system directory
  enum class Register { kDefault, kYes, kNo } registerServer = Register::kDefault;
  std::string hook;  // hook= section name, empty when none
};

struct CodeDownloadInf {
  std::vector<InfFileEntry> files;      // in [Add.Code] order (main control first)
  std::vector<std::string> setupHooks;  // values of [Setup Hooks] lines, in order
};

enum class InfError {
  kNone,
  kTooLarge,        // input over 64 KiB, or %name% substitution producing over 1 MiB in all
  kBadEncoding,     // NUL, odd-length or bad-surrogate UTF-16, or bad UTF-8 after a UTF-8 BOM
  kNoAddCode,       // neither [Add.Code] nor [Setup Hooks], or [Add.Code] lists no file
  kBadFileName,     // an [Add.Code] name fails IsPlainMemberName
  kDuplicateFile,   // same name twice ignoring case
  kMissingSection,  // a file's section is absent
  kBadDestDir,      // DestDir other than empty, 10, 11
  kBadClsid,
  kBadVersion,
  kTooManyFiles,      // more than 64 [Add.Code] lines
  kHooksUnsupported,  // [Setup Hooks] or any hook= present
};

struct InfParseResult {
  // On error, files is empty; setupHooks still lists what [Setup Hooks] held, for messages.
  CodeDownloadInf inf;
  InfError error = InfError::kNone;
  std::string detail;  // names the offending line/section, for messages (printable, bounded)
};

const char* InfErrorText(InfError error);

// Input at most 64 KiB (kTooLarge), at most 64 files. Encoding: UTF-16LE with BOM FF FE, UTF-8
// with BOM EF BB BF, otherwise 8-bit bytes kept as they are.
InfParseResult ParseCodeDownloadInf(std::string_view bytes);
