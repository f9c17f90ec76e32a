#include "platform/core/inf_reader.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/core/member_name.h"

namespace {

constexpr size_t kMaxInputBytes = 64 * 1024;
constexpr size_t kMaxFiles = 64;
// Substitution can multiply text ("%a%%a%..." with a long a); this caps what it may produce.
constexpr size_t kMaxExpandedBytes = 1024 * 1024;
constexpr size_t kMaxShownBytes = 80;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Untrusted text made fit for a message: bounded, no control characters, valid UTF-8.
std::string Printable(std::string_view text) {
  std::string_view cut = text.substr(0, kMaxShownBytes);
  // Back off to a character boundary so truncation does not break a UTF-8 sequence.
  if (cut.size() < text.size()) {
    while (!cut.empty() && (static_cast<unsigned char>(text[cut.size()]) & 0xC0) == 0x80) {
      cut.remove_suffix(1);
    }
  }
  std::string out(cut);
  const bool utf8 = IsValidUtf8(out);
  for (char& c : out) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || (!utf8 && u >= 0x80)) c = '?';
  }
  if (cut.size() < text.size()) out += "...";
  return out;
}

std::string Quoted(std::string_view text) { return "\"" + Printable(text) + "\""; }

// A NUL would end the text early for any C string API the values later reach, so it is refused
// in every encoding rather than passed on.
bool DecodeText(std::string_view bytes, std::string& text) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    const std::string_view units = bytes.substr(2);
    if (units.size() % 2 != 0) return false;
    text.reserve(units.size() / 2 * 3);
    auto unitAt = [&](size_t i) {
      return static_cast<uint32_t>(static_cast<unsigned char>(units[i])) |
             static_cast<uint32_t>(static_cast<unsigned char>(units[i + 1])) << 8;
    };
    for (size_t i = 0; i < units.size(); i += 2) {
      uint32_t code = unitAt(i);
      if (code == 0 || (code >= 0xDC00 && code <= 0xDFFF)) return false;
      if (code >= 0xD800 && code <= 0xDBFF) {
        if (i + 2 >= units.size()) return false;
        const uint32_t low = unitAt(i + 2);
        if (low < 0xDC00 || low > 0xDFFF) return false;
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
      AppendUtf8(text, code);
    }
    return true;
  }
  const bool utf8Bom = bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF";
  if (utf8Bom) bytes.remove_prefix(3);
  if (bytes.find('\0') != std::string_view::npos) return false;
  if (utf8Bom && !IsValidUtf8(bytes)) return false;
  text.assign(bytes);
  return true;
}

// One logical line: physical lines joined by continuations, comments removed.
struct LogicalLine {
  std::string text;
  size_t number = 0;  // of its first physical line
};

std::vector<LogicalLine> SplitLines(std::string_view text) {
  std::vector<LogicalLine> lines;
  LogicalLine pending;
  bool continuing = false;
  size_t number = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    const std::string_view physical = text.substr(pos, end - pos);
    pos = end + 1;
    if (end < text.size() && text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    ++number;

    bool inQuotes = false;
    size_t cut = physical.size();
    for (size_t i = 0; i < physical.size(); ++i) {
      if (physical[i] == '"') {
        inQuotes = !inQuotes;
      } else if (physical[i] == ';' && !inQuotes) {
        cut = i;
        break;
      }
    }
    std::string_view meaningful = physical.substr(0, cut);
    if (!continuing) pending.number = number;
    std::string_view tail = meaningful;
    while (!tail.empty() && IsBlank(tail.back())) tail.remove_suffix(1);
    if (!inQuotes && !tail.empty() && tail.back() == '\\') {
      tail.remove_suffix(1);
      pending.text += tail;
      continuing = true;
      continue;
    }
    pending.text += meaningful;
    if (!Trim(pending.text).empty()) lines.push_back(std::move(pending));
    pending = LogicalLine{};
    continuing = false;
  }
  if (continuing && !Trim(pending.text).empty()) lines.push_back(std::move(pending));
  return lines;
}

struct Entry {
  bool hasKey = false;
  std::string key;    // quotes removed, trimmed
  std::string value;  // quotes removed, trimmed, %name% not yet substituted
  size_t number = 0;
};

struct Section {
  std::string name;
  std::vector<Entry> entries;
};

// Splits "key = value" at the first '=' outside quotes. Blanks at either end of key and value
// go unless quoted; a quoted "" stands for one quote.
Entry ReadEntry(const LogicalLine& line) {
  Entry entry;
  entry.number = line.number;
  std::string part;
  size_t kept = 0;  // length of part up to its last quoted or non-blank character
  bool inQuotes = false;
  const std::string_view text = line.text;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inQuotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          part += '"';
          kept = part.size();
          ++i;
        } else {
          inQuotes = false;
        }
      } else {
        part += c;
        kept = part.size();
      }
    } else if (c == '"') {
      inQuotes = true;
    } else if (c == '=' && !entry.hasKey) {
      part.resize(kept);
      entry.key = std::move(part);
      entry.hasKey = true;
      part.clear();
      kept = 0;
    } else if (IsBlank(c)) {
      if (!part.empty()) part += c;
    } else {
      part += c;
      kept = part.size();
    }
  }
  part.resize(kept);
  entry.value = std::move(part);
  return entry;
}

class Parser {
 public:
  InfParseResult Run(std::string_view bytes);

 private:
  bool Fail(InfError error, std::string detail) {
    result_.error = error;
    result_.detail = std::move(detail);
    return false;
  }
  void ReadSections(std::string_view text);
  const Section* FindSection(std::string_view name) const;
  bool Expand(const Entry& entry, std::string& out);
  bool ReadFiles(const Section& addCode);
  bool ReadFileSection(const Section& section, InfFileEntry& file);

  InfParseResult result_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> sectionIndex_;  // lower-cased name -> sections_
  std::unordered_map<std::string, std::string> strings_;  // lower-cased key -> value
  size_t expandedBytes_ = 0;
};

void Parser::ReadSections(std::string_view text) {
  size_t current = sections_.size();  // none yet: lines before the first header are ignored
  for (const LogicalLine& line : SplitLines(text)) {
    const std::string_view trimmed = Trim(line.text);
    if (trimmed.front() == '[') {
      // A header without ']' still starts a section, so its lines never join the previous one.
      const size_t close = trimmed.find(']');
      const std::string_view name =
          Trim(trimmed.substr(1, close == std::string_view::npos ? close : close - 1));
      // Sections of the same name read as one, in file order.
      const auto [it, added] = sectionIndex_.try_emplace(Lower(name), sections_.size());
      if (added) sections_.push_back(Section{std::string(name), {}});
      current = it->second;
    } else if (current < sections_.size()) {
      sections_[current].entries.push_back(ReadEntry(line));
    }
  }
}

const Section* Parser::FindSection(std::string_view name) const {
  const auto it = sectionIndex_.find(Lower(name));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

// Replaces each %name% with its [Strings] value, once: replacements are not scanned again.
bool Parser::Expand(const Entry& entry, std::string& out) {
  out.clear();
  bool fits = true;
  auto append = [&](std::string_view piece) {
    if (!fits || piece.size() > kMaxExpandedBytes - expandedBytes_) {
      fits = false;
      return;
    }
    expandedBytes_ += piece.size();
    out += piece;
  };
  const std::string_view value = entry.value;
  size_t pos = 0;
  while (fits && pos < value.size()) {
    const size_t open = value.find('%', pos);
    const size_t close = open == std::string_view::npos ? open : value.find('%', open + 1);
    if (close == std::string_view::npos) {
      append(value.substr(pos));
      break;
    }
    append(value.substr(pos, open - pos));
    const std::string_view token = value.substr(open + 1, close - open - 1);
    std::string_view replacement = value.substr(open, close - open + 1);  // unknown: kept
    if (token.empty()) {
      replacement = "%";
    } else if (const auto it = strings_.find(Lower(token)); it != strings_.end()) {
      replacement = it->second;
    }
    append(replacement);
    pos = close + 1;
  }
  if (fits) return true;
  return Fail(InfError::kTooLarge,
              "line " + std::to_string(entry.number) + ": substitution makes the text too long");
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsClsidText(std::string_view text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

// "a,b,c,d": up to four decimal numbers 0..65535, blanks allowed around each; no empty field.
bool ReadVersion(std::string_view text, uint16_t (&version)[4]) {
  size_t field = 0;
  while (true) {
    if (field == 4) return false;
    const size_t comma = text.find(',');
    const std::string_view number = Trim(text.substr(0, comma));
    if (number.empty()) return false;
    uint32_t value = 0;
    for (const char c : number) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<uint32_t>(c - '0');
      if (value > 0xFFFF) return false;
    }
    version[field++] = static_cast<uint16_t>(value);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

bool Parser::ReadFileSection(const Section& section, InfFileEntry& file) {
  enum Key { kFileWin32X86, kFile, kClsid, kFileVersion, kDestDir, kRegisterServer, kHook, kKeys };
  static constexpr const char* kNames[kKeys] = {
      "file-win32-x86", "file", "clsid", "fileversion", "destdir", "registerserver", "hook"};
  const Entry* found[kKeys] = {};
  for (const Entry& entry : section.entries) {
    if (!entry.hasKey) continue;
    for (int k = 0; k < kKeys; ++k) {
      // The first of duplicate keys wins.
      if (found[k] == nullptr && EqualsNoCase(entry.key, kNames[k])) found[k] = &entry;
    }
  }
  auto detail = [&](const Entry& entry, std::string_view value) {
    return "line " + std::to_string(entry.number) + ": [" + Printable(section.name) + "] " +
           Printable(entry.key) + "=" + Quoted(value);
  };
  std::string value;

  if (found[kHook] != nullptr) {
    if (!Expand(*found[kHook], value)) return false;
    file.hook = value;
    return Fail(InfError::kHooksUnsupported, detail(*found[kHook], value));
  }
  if (found[kClsid] != nullptr) {
    if (!Expand(*found[kClsid], value)) return false;
    if (!value.empty() && !IsClsidText(value)) {
      return Fail(InfError::kBadClsid, detail(*found[kClsid], value));
    }
    file.clsid = value;
  }
  if (found[kFileVersion] != nullptr) {
    if (!Expand(*found[kFileVersion], value)) return false;
    if (!value.empty()) {
      if (!ReadVersion(value, file.fileVersion)) {
        return Fail(InfError::kBadVersion, detail(*found[kFileVersion], value));
      }
      file.hasFileVersion = true;
    }
  }
  if (found[kDestDir] != nullptr) {
    if (!Expand(*found[kDestDir], value)) return false;
    if (value == "10" || value == "11") {
      file.destDir = value == "10" ? 10 : 11;
    } else if (!value.empty()) {
      return Fail(InfError::kBadDestDir, detail(*found[kDestDir], value));
    }
  }
  if (found[kRegisterServer] != nullptr) {
    if (!Expand(*found[kRegisterServer], value)) return false;
    if (EqualsNoCase(value, "yes")) file.registerServer = InfFileEntry::Register::kYes;
    if (EqualsNoCase(value, "no")) file.registerServer = InfFileEntry::Register::kNo;
  }
  const Entry* location = found[kFileWin32X86] != nullptr ? found[kFileWin32X86] : found[kFile];
  if (location != nullptr) {
    if (!Expand(*location, value)) return false;
    if (EqualsNoCase(value, "thiscab") || EqualsNoCase(value, "ignore")) value = Lower(value);
    file.location = value;
  }
  return true;
}

bool Parser::ReadFiles(const Section& addCode) {
  if (addCode.entries.empty()) return Fail(InfError::kNoAddCode, "[Add.Code] lists no file");
  if (addCode.entries.size() > kMaxFiles) {
    return Fail(InfError::kTooManyFiles, "[Add.Code] lists " +
                                             std::to_string(addCode.entries.size()) +
                                             " files; at most " + std::to_string(kMaxFiles));
  }
  std::vector<InfFileEntry>& files = result_.inf.files;
  for (const Entry& entry : addCode.entries) {
    const std::string where = "line " + std::to_string(entry.number) + ": [Add.Code] ";
    // A line without '=' names a file whose section has its name, as "name=" does.
    InfFileEntry file;
    file.name = entry.hasKey ? entry.key : entry.value;
    std::string sectionName;
    if (entry.hasKey && !Expand(entry, sectionName)) return false;
    if (sectionName.empty()) sectionName = file.name;

    if (!IsPlainMemberName(file.name))
      return Fail(InfError::kBadFileName, where + Quoted(file.name));
    for (const InfFileEntry& earlier : files) {
      if (EqualsNoCase(earlier.name, file.name)) {
        return Fail(InfError::kDuplicateFile, where + Quoted(file.name));
      }
    }
    const Section* section = FindSection(sectionName);
    if (section == nullptr) {
      return Fail(InfError::kMissingSection,
                  where + Quoted(file.name) + " names absent section " + Quoted(sectionName));
    }
    if (!ReadFileSection(*section, file)) return false;
    files.push_back(std::move(file));
  }
  return true;
}

InfParseResult Parser::Run(std::string_view bytes) {
  if (bytes.size() > kMaxInputBytes) {
    Fail(InfError::kTooLarge,
         std::to_string(bytes.size()) + " bytes; at most " + std::to_string(kMaxInputBytes));
    return std::move(result_);
  }
  std::string text;
  if (!DecodeText(bytes, text)) {
    Fail(InfError::kBadEncoding, "neither 8-bit text without NUL, UTF-8 nor UTF-16LE");
    return std::move(result_);
  }
  ReadSections(text);

  if (const Section* strings = FindSection("Strings")) {
    for (const Entry& entry : strings->entries) {
      if (entry.hasKey) strings_.try_emplace(Lower(entry.key), entry.value);
    }
  }

  const Section* hooks = FindSection("Setup Hooks");
  const Section* addCode = FindSection("Add.Code");
  if (hooks != nullptr) {
    std::string value;
    bool expanded = true;
    for (const Entry& entry : hooks->entries) {
      if (!(expanded = Expand(entry, value))) break;
      result_.inf.setupHooks.push_back(value);
    }
    if (expanded) Fail(InfError::kHooksUnsupported, "[Setup Hooks] section present");
  } else if (addCode == nullptr) {
    Fail(InfError::kNoAddCode, "no [Add.Code] section");
  } else {
    ReadFiles(*addCode);
  }
  if (result_.error != InfError::kNone) result_.inf.files.clear();
  return std::move(result_);
}

}  // namespace

const char* InfErrorText(InfError error) {
  switch (error) {
    case InfError::kNone:
      return "no error";
    case InfError::kTooLarge:
      return "the INF file is too large";
    case InfError::kBadEncoding:
      return "the INF file's text encoding is invalid";
    case InfError::kNoAddCode:
      return "the INF file lists no code to install";
    case InfError::kBadFileName:
      return "the INF file names a file that is not a plain file name";
    case InfError::kDuplicateFile:
      return "the INF file lists the same file twice";
    case InfError::kMissingSection:
      return "the INF file lacks a file's section";
    case InfError::kBadDestDir:
      return "the INF file asks for an unsupported destination folder";
    case InfError::kBadClsid:
      return "the INF file holds a malformed class identifier";
    case InfError::kBadVersion:
      return "the INF file holds a malformed file version";
    case InfError::kTooManyFiles:
      return "the INF file lists too many files";
    case InfError::kHooksUnsupported:
      return "the INF file uses setup hooks, which are not supported";
  }
  return "unknown INF error";
}

InfParseResult ParseCodeDownloadInf(std::string_view bytes) { return Parser().Run(bytes); }
