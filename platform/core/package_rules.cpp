#include "platform/core/package_rules.h"

#include <algorithm>
#include <cstdint>

#include "platform/core/member_name.h"

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

uint32_t ReadLe(std::string_view bytes, size_t at, size_t size) {
  uint32_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

constexpr size_t kDosHeaderSize = 64;
constexpr size_t kNewHeaderOffsetAt = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kCharacteristicsAt = 18;  // within the file header
constexpr uint32_t kImageFileDll = 0x2000;

}  // namespace

std::optional<std::string> ChooseInfMember(const std::vector<std::string>& members,
                                           std::string_view cabStem) {
  std::optional<std::string> first;
  for (const std::string& name : members) {
    if (name.size() <= 4 || !EndsWithNoCase(name, ".inf") || !IsPlainMemberName(name)) continue;
    if (EqualsNoCase(std::string_view(name).substr(0, name.size() - 4), cabStem)) return name;
    if (!first) first = name;
  }
  return first;
}

const char* PackageErrorText(PackageError error) {
  switch (error) {
    case PackageError::kNone:
      return "no error";
    case PackageError::kNoInf:
      return "the CAB holds no INF file";
    case PackageError::kNotInThisCab:
      return "the INF file names a file to fetch from elsewhere, which is not supported";
    case PackageError::kMissingMember:
      return "the INF file lists a file the CAB does not hold";
    case PackageError::kNotModuleImage:
      return "a file to register is not a module image of its kind";
  }
  return "unknown package error";
}

PackageCheck CheckInfFilesPresent(const CodeDownloadInf& inf,
                                  const std::vector<std::string>& members) {
  for (const InfFileEntry& entry : inf.files) {
    if (entry.location == "ignore") continue;
    if (entry.location != "thiscab") return {PackageError::kNotInThisCab, entry.name};
    const bool present = std::any_of(members.begin(), members.end(), [&](const std::string& m) {
      return EqualsNoCase(m, entry.name);
    });
    if (!present) return {PackageError::kMissingMember, entry.name};
  }
  return {};
}

bool ListsMember(const CodeDownloadInf& inf, std::string_view name) {
  return std::any_of(inf.files.begin(), inf.files.end(), [&](const InfFileEntry& entry) {
    return entry.location == "thiscab" && EqualsNoCase(entry.name, name);
  });
}

bool HasModuleExtension(std::string_view name) {
  return EndsWithNoCase(name, ".dll") || EndsWithNoCase(name, ".ocx") ||
         EndsWithNoCase(name, ".exe");
}

bool IsPeImageHead(std::string_view head, bool dll) {
  if (head.size() < kDosHeaderSize || head.substr(0, 2) != "MZ") return false;
  const uint32_t at = ReadLe(head, kNewHeaderOffsetAt, 4);
  if (at > head.size() || head.size() - at < 4 + kFileHeaderSize) return false;
  if (head.substr(at, 4) != std::string_view("PE\0\0", 4)) return false;
  const uint32_t characteristics = ReadLe(head, at + 4 + kCharacteristicsAt, 2);
  return ((characteristics & kImageFileDll) != 0) == dll;
}

PackageCheck CheckRegistrable(std::string_view name, std::string_view head) {
  const bool isProgram = EndsWithNoCase(name, ".exe");
  const bool isLibrary = EndsWithNoCase(name, ".dll") || EndsWithNoCase(name, ".ocx");
  if (!(isProgram || isLibrary) || !IsPeImageHead(head, isLibrary))
    return {PackageError::kNotModuleImage, std::string(name)};
  return {};
}
