#include "velmar/core/download_path.h"

#include <cstdint>

#include "platform/core/member_name.h"

namespace {

// UTF-8 of a UTF-16 (or UTF-32) text; a lone surrogate becomes a byte that is no valid UTF-8,
// so the name check refuses it.
std::string Utf8Of(std::wstring_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint32_t>(text[i]);
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() &&
        static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      out += '\xFF';
      continue;
    }
    AppendUtf8(out, code);
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes decoded to their bytes; a "%" without two hex digits stays.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::wstring CollapseBackslashPairs(std::wstring_view text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'\\') ++i;
  }
  return out;
}

void ReplaceAll(std::wstring& text, std::wstring_view token, std::wstring_view by) {
  for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at)) {
    text.replace(at, token.size(), by);
    at += by.size();
  }
}

bool IsDriveLetterPath(std::wstring_view path) {
  return path.size() >= 3 &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
         path[1] == L':' && path[2] == L'\\';
}

}  // namespace

std::optional<std::wstring> DownloadFileName(std::wstring_view url) {
  url = url.substr(0, url.find_first_of(L"?#"));
  size_t cut = url.rfind(L'/');
  if (cut == std::wstring_view::npos) cut = url.rfind(L'\\');
  const std::wstring_view name = cut == std::wstring_view::npos ? url : url.substr(cut + 1);
  const std::string written = Utf8Of(name);
  if (!IsPlainMemberName(written) || !IsPlainMemberName(PercentDecoded(written))) {
    return std::nullopt;
  }
  return std::wstring(name);
}

std::wstring DownloadLocalPath(std::wstring_view folder, std::wstring_view fileName) {
  std::wstring path(folder);
  path += L'\\';
  path += fileName;
  return CollapseBackslashPairs(path);
}

std::wstring ExpandFolderToken(std::wstring path, const FolderTokens& tokens) {
  if (path.find(L"%SYSTEM%") != std::wstring::npos) {
    ReplaceAll(path, L"%SYSTEM%", tokens.temp);
  } else if (path.find(L"%PROGRAM_FILES%") != std::wstring::npos) {
    if (tokens.programFiles) ReplaceAll(path, L"%PROGRAM_FILES%", *tokens.programFiles);
  } else if (path.find(L"%WINDOWS%") != std::wstring::npos) {
    ReplaceAll(path, L"%WINDOWS%", tokens.windows);
  }
  return path;
}

std::vector<std::wstring> FoldersToCreate(std::wstring_view localPath) {
  const size_t last = localPath.rfind(L'\\');
  if (last == std::wstring_view::npos) return {};
  std::wstring folder;
  for (const wchar_t c : localPath.substr(0, last)) {
    if (c != L'"') folder += c;
  }
  folder = CollapseBackslashPairs(CollapseBackslashPairs(folder) + L"\\");
  if (!IsDriveLetterPath(folder)) return {};
  std::vector<std::wstring> folders;
  for (size_t i = 3; i < folder.size(); ++i) {
    if (folder[i] == L'\\') folders.push_back(folder.substr(0, i));
  }
  return folders;
}
