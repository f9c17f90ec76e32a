#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/inf_reader.h"

// What the download service asks of a component CAB once its tables check out: which member is
// its INF, whether the INF's files are all in the CAB, and which files may be registered. The
// service and tools/cabkit's checker both decide with these, so the two cannot disagree.

// The INF that describes the component: the member named after the CAB (stem, any case), else
// the first member ending in ".inf"; only plain member names count.
std::optional<std::string> ChooseInfMember(const std::vector<std::string>& members,
                                           std::string_view cabStem);

enum class PackageError {
  kNone,
  kNoInf,           // no member is an INF
  kNotInThisCab,    // a file is to come from elsewhere (a URL): never fetched
  kMissingMember,   // a file listed as in this CAB is not a member
  kNotModuleImage,  // a file to register is not a PE image of its kind (.dll/.ocx DLL, .exe)
};

struct PackageCheck {
  PackageError error = PackageError::kNone;
  std::string detail;  // the file concerned
};

const char* PackageErrorText(PackageError error);

// Every file the INF lists is "ignore", or "thiscab" and a member (names compared ignoring case).
PackageCheck CheckInfFilesPresent(const CodeDownloadInf& inf,
                                  const std::vector<std::string>& members);

// True when the INF lists name as a file in this CAB.
bool ListsMember(const CodeDownloadInf& inf, std::string_view name);

// True when name ends in .dll, .ocx or .exe (any case): the only files ever registered.
bool HasModuleExtension(std::string_view name);

// True when head (a file's first bytes: linkers put the PE headers in its first page) holds the
// headers of a PE image, a DLL when dll is set and a program otherwise.
bool IsPeImageHead(std::string_view head, bool dll);

// Enough of a file's start to hold its PE headers.
inline constexpr size_t kPeHeadBytes = 4096;

// The registration rule for a file that is to register: a .dll or .ocx that is a PE DLL, or an
// .exe that is a PE program; kNotModuleImage otherwise.
PackageCheck CheckRegistrable(std::string_view name, std::string_view head);
