#include "platform/core/member_name.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr size_t kMaxNameBytes = 255;

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsForbiddenByte(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '\\':
    case '/':
    case ':':
    case '<':
    case '>':
    case '"':
    case '|':
    case '?':
    case '*':
      return true;
    default:
      return false;
  }
}

// Windows resolves these names to devices whatever extension follows, and ignores blanks before
// the extension, so "nul .txt" opens NUL too.
bool IsReservedDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (EqualsNoCase(base, device)) return true;
  }
  if (base.size() < 4) return false;
  const std::string_view prefix = base.substr(0, 3);
  if (!EqualsNoCase(prefix, "com") && !EqualsNoCase(prefix, "lpt")) return false;
  const std::string_view digit = base.substr(3);
  if (digit.size() == 1) return digit[0] >= '0' && digit[0] <= '9';
  // Superscript one, two and three count as digits in the device-name check.
  return digit == "\xC2\xB9" || digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool IsPlainMemberName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  for (const char c : name) {
    if (IsForbiddenByte(static_cast<unsigned char>(c))) return false;
  }
  // Windows drops a trailing dot or space when creating the file, so the name on disk would
  // differ from the one checked; this also refuses "." and "..".
  if (name.back() == '.' || name.back() == ' ') return false;
  if (!IsValidUtf8(name)) return false;
  return !IsReservedDeviceName(name);
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}
