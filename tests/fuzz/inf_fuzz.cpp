// libFuzzer target for the INF reader and the member-name check. Beyond "no crash, no hang", it
// aborts when a result breaks what the download service relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/inf_reader.h"
#include "platform/core/member_name.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckMemberName(std::string_view name) {
  if (!IsPlainMemberName(name)) return;
  Require(!name.empty() && name.size() <= 255 && IsValidUtf8(name));
  Require(name.find_first_of("\\/:<>\"|?*") == std::string_view::npos);
  Require(name != "." && name != ".." && name.back() != '.' && name.back() != ' ');
  for (const char c : name) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

void CheckResult(std::string_view bytes, const InfParseResult& r) {
  Require(InfErrorText(r.error) != nullptr);
  if (bytes.size() > 64 * 1024) Require(r.error == InfError::kTooLarge);
  if (r.error != InfError::kNone) {
    // Details go into messages: they must say something, stay short and printable.
    Require(r.inf.files.empty() && !r.detail.empty() && r.detail.size() <= 512);
    Require(IsValidUtf8(r.detail));
    for (const char c : r.detail) Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    if (r.error != InfError::kHooksUnsupported && r.error != InfError::kTooLarge) {
      Require(r.inf.setupHooks.empty());
    }
    return;
  }
  Require(!r.inf.files.empty() && r.inf.files.size() <= 64 && r.inf.setupHooks.empty());
  for (size_t i = 0; i < r.inf.files.size(); ++i) {
    const InfFileEntry& file = r.inf.files[i];
    Require(IsPlainMemberName(file.name));
    CheckMemberName(file.name);
    for (size_t j = 0; j < i; ++j) Require(!EqualsNoCase(file.name, r.inf.files[j].name));
    Require(file.destDir == 0 || file.destDir == 10 || file.destDir == 11);
    Require(file.clsid.empty() || (file.clsid.size() == 38 && file.clsid.front() == '{'));
    Require(file.hook.empty());
    if (EqualsNoCase(file.location, "thiscab")) Require(file.location == "thiscab");
    if (EqualsNoCase(file.location, "ignore")) Require(file.location == "ignore");
    if (!file.hasFileVersion) {
      for (const uint16_t part : file.fileVersion) Require(part == 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckMemberName(bytes);
  CheckResult(bytes, ParseCodeDownloadInf(bytes));
  return 0;
}
