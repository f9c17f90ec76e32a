// cabkit-rules: judges a component CAB by the download service's own rules (platform/core) and
// prints the verdict for tools/cabkit/cabkit, one tab-separated record a line:
//   accepted
//   inf <name>
//   file <name> <location> <destDir> <register: yes|no|default> <clsid|-> <version|-> <image>
//     (files in the INF's order; image: dll, exe or none, as the PE headers say)
// or
//   refused <reason>
// and exits 0 when accepted, 1 when refused, 2 on a usage or I/O error. With --extract DIR (an
// existing folder), the INF and the files it lists are written there for a closer look.
// The steps and their order follow CComponentPackage::Fetch and Unpack, so the first reason the
// service would stop at is the one printed.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/cab_unpacker.h"
#include "platform/core/inf_reader.h"
#include "platform/core/member_name.h"
#include "platform/core/package_rules.h"

namespace {

constexpr size_t kMaxInfBytes = 64 * 1024;

struct Verdict {
  bool accepted = false;
  std::string reason;
};

Verdict Refuse(std::string reason) { return {false, std::move(reason)}; }

// The member name as UTF-8: names without the UTF-8 flag are 8-bit text, taken as Latin-1 here
// (the service converts them from the machine's ANSI code page; ASCII names read the same).
std::string MemberName(const CabFile& file) {
  if ((file.attributes & kCabNameIsUtf8) != 0) return file.name;
  std::string out;
  for (const unsigned char c : file.name) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A hostile name made safe to print on one line.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return text;
}

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string StemOf(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  return name.substr(0, name.rfind('.'));
}

// Keeps what the service would write out: the INF (up to what it reads of it) and the members
// it takes, deciding as the service's chooser does, member by member.
class ChoosingSink final : public CCabUnpacker::Sink {
 public:
  ChoosingSink(const std::vector<std::string>& names, std::string infName)
      : names_(names), infName_(std::move(infName)) {}

  bool Begin(size_t index) override {
    if (infDone_ && !infRead_ && !ReadInf()) return false;
    const std::string& name = names_[index];
    bool take = false;
    if (name == infName_) {
      take = infDone_ = true;
    } else if (infRead_) {
      take = ListsMember(inf_, name);
    } else {
      take = IsPlainMemberName(name);  // INFs list plain names only
    }
    current_ = take ? &taken_.emplace_back(name, std::string()).second : nullptr;
    currentIsInf_ = name == infName_;
    return true;
  }
  bool Write(const uint8_t* data, size_t size) override {
    if (current_ == nullptr) return true;
    const char* bytes = reinterpret_cast<const char*>(data);
    if (!currentIsInf_) {
      current_->append(bytes, size);
    } else if (current_->size() <= kMaxInfBytes) {
      current_->append(bytes, std::min(size, kMaxInfBytes + 1 - current_->size()));
    }
    return true;
  }
  bool End() override { return true; }

  // Reads the INF once it is complete; false with the reason when the service would stop.
  bool ReadInf() {
    infRead_ = true;
    const std::string* text = Taken(infName_);
    const InfParseResult parsed = ParseCodeDownloadInf(text ? *text : std::string());
    if (parsed.error != InfError::kNone) {
      failure_ = std::string(InfErrorText(parsed.error)) + ": " + parsed.detail;
      return false;
    }
    const PackageCheck check = CheckInfFilesPresent(parsed.inf, names_);
    if (check.error != PackageError::kNone) {
      failure_ = std::string(PackageErrorText(check.error)) + ": " + check.detail;
      return false;
    }
    inf_ = parsed.inf;
    return true;
  }

  bool InfRead() const { return infRead_; }
  const std::string& Failure() const { return failure_; }
  const CodeDownloadInf& Inf() const { return inf_; }
  const std::vector<std::pair<std::string, std::string>>& TakenFiles() const { return taken_; }
  const std::string* Taken(const std::string& name) const {
    for (const auto& [takenName, data] : taken_) {
      if (EqualsNoCase(takenName, name)) return &data;
    }
    return nullptr;
  }

 private:
  const std::vector<std::string>& names_;
  const std::string infName_;
  bool infDone_ = false;
  bool infRead_ = false;
  bool currentIsInf_ = false;
  std::string* current_ = nullptr;
  std::vector<std::pair<std::string, std::string>> taken_;
  CodeDownloadInf inf_;
  std::string failure_;
};

std::string Version(const InfFileEntry& entry) {
  if (!entry.hasFileVersion) return "-";
  return std::to_string(entry.fileVersion[0]) + "," + std::to_string(entry.fileVersion[1]) + "," +
         std::to_string(entry.fileVersion[2]) + "," + std::to_string(entry.fileVersion[3]);
}

const char* RegisterText(InfFileEntry::Register value) {
  switch (value) {
    case InfFileEntry::Register::kYes:
      return "yes";
    case InfFileEntry::Register::kNo:
      return "no";
    case InfFileEntry::Register::kDefault:
      break;
  }
  return "default";
}

const char* ImageKind(const std::string& data) {
  const std::string_view head = std::string_view(data).substr(0, kPeHeadBytes);
  if (IsPeImageHead(head, true)) return "dll";
  if (IsPeImageHead(head, false)) return "exe";
  return "none";
}

Verdict Judge(const std::string& path, std::ifstream& cab, const std::string& extractTo) {
  cab.seekg(0, std::ios::end);
  const uint64_t size = static_cast<uint64_t>(cab.tellg());
  const auto read = [&](uint64_t offset, void* buffer, size_t bytes) {
    cab.clear();
    cab.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(cab.read(static_cast<char*>(buffer), bytes));
  };

  // As the service fetches: a web page saved under the CAB's name is told apart.
  std::string head(512, '\0');
  cab.clear();
  cab.seekg(0);
  cab.read(head.data(), head.size());
  head.resize(static_cast<size_t>(cab.gcount()));
  if (head.rfind("MSCF", 0) != 0) {
    size_t i = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
    if (i < head.size() && head[i] == '<') return Refuse("the file is a web page, not a CAB");
    return Refuse(CabCheckErrorText(CabCheckError::kNotCabinet));
  }

  CCabUnpacker unpacker(size, read);
  if (const CabCheckResult r = unpacker.Open(); r.error != CabCheckError::kNone)
    return Refuse(std::string(CabCheckErrorText(r.error)) + ": " + r.detail);
  std::vector<std::string> names;
  std::vector<std::string> upper;
  for (const CabFile& file : unpacker.Files()) {
    names.push_back(MemberName(file));
    upper.push_back(UpperAscii(names.back()));
  }
  for (size_t i = 0; i < upper.size(); ++i) {
    for (size_t j = i + 1; j < upper.size(); ++j) {
      if (upper[i] == upper[j])
        return Refuse("two members have the same name but for case: " + Printable(names[j]));
    }
  }
  const std::optional<std::string> infName = ChooseInfMember(names, StemOf(path));
  if (!infName) return Refuse(PackageErrorText(PackageError::kNoInf));

  ChoosingSink sink(names, *infName);
  const CabCheckResult unpacked = unpacker.Unpack(sink);
  if (!sink.Failure().empty()) return Refuse(sink.Failure());
  if (unpacked.error != CabCheckError::kNone)
    return Refuse(std::string(CabCheckErrorText(unpacked.error)) + ": " + unpacked.detail);
  if (!sink.InfRead() && !sink.ReadInf()) return Refuse(sink.Failure());

  std::string out = "accepted\ninf\t" + *infName + "\n";
  for (const InfFileEntry& entry : sink.Inf().files) {
    const std::string* data = entry.location == "thiscab" ? sink.Taken(entry.name) : nullptr;
    const std::string image = data ? ImageKind(*data) : "none";
    if (data && entry.registerServer == InfFileEntry::Register::kYes) {
      const PackageCheck check =
          CheckRegistrable(entry.name, std::string_view(*data).substr(0, kPeHeadBytes));
      if (check.error != PackageError::kNone)
        return Refuse(std::string(PackageErrorText(check.error)) + ": " + check.detail);
    }
    out += "file\t" + entry.name + "\t" + entry.location + "\t" + std::to_string(entry.destDir) +
           "\t" + RegisterText(entry.registerServer) + "\t" +
           (entry.clsid.empty() ? "-" : entry.clsid) + "\t" + Version(entry) + "\t" + image + "\n";
  }
  if (!extractTo.empty()) {
    for (const auto& [name, data] : sink.TakenFiles()) {
      if (name != *infName && !ListsMember(sink.Inf(), name)) continue;  // dropped by the service
      std::ofstream file(extractTo + "/" + name, std::ios::binary | std::ios::trunc);
      if (!file.write(data.data(), static_cast<std::streamsize>(data.size())))
        return Refuse("cannot write " + extractTo + "/" + name);
    }
  }
  std::fputs(out.c_str(), stdout);
  return {true, {}};
}

}  // namespace

int main(int argc, char** argv) {
  std::string cabPath, extractTo;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--extract" && i + 1 < argc) {
      extractTo = argv[++i];
    } else if (cabPath.empty() && !arg.empty() && arg[0] != '-') {
      cabPath = arg;
    } else {
      cabPath.clear();
      break;
    }
  }
  if (cabPath.empty()) {
    std::fputs("usage: cabkit-rules CAB [--extract DIR]\n", stderr);
    return 2;
  }
  std::ifstream cab(cabPath, std::ios::binary);
  if (!cab) {
    std::fprintf(stderr, "cabkit-rules: cannot open %s\n", cabPath.c_str());
    return 2;
  }
  const Verdict verdict = Judge(cabPath, cab, extractTo);
  if (verdict.accepted) return 0;
  std::printf("refused\t%s\n", verdict.reason.c_str());
  return 1;
}
