#include "common/module_info.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/scoped_owner.h"

namespace {

// Bounds on what a hostile image can make the reader walk.
constexpr WORD kMaxSections = 96;
constexpr DWORD kMaxResourceEntries = 4096;

// Exactly size bytes at offset; false past the end of the file.
bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  return ::SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         ::ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

}  // namespace

std::wstring LoadResourceString(HINSTANCE module, UINT id) {
  const wchar_t* text = nullptr;
  // With a zero buffer size the call hands out a pointer into the resource itself.
  const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return {};
  return std::wstring(text, static_cast<size_t>(length));
}

std::wstring ModuleFilePath(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
  }
}

std::wstring ModuleBaseName(HMODULE module) {
  std::wstring name = ModuleFilePath(module);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

std::optional<std::array<unsigned, 4>> FileVersionOf(const std::wstring& path) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoSize = 0;
  if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
      info == nullptr || infoSize < sizeof(VS_FIXEDFILEINFO)) {
    return std::nullopt;
  }
  return std::array<unsigned, 4>{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                 HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS)};
}

std::optional<std::wstring> FileVersionString(const std::wstring& path, const std::wstring& name) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
  if (size == 0) return std::nullopt;
  std::vector<BYTE> data(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return std::nullopt;
  }
  wchar_t query[96];
  swprintf(query, 96, L"\\StringFileInfo\\%04x%04x\\%ls", translation->language,
           translation->codePage, name.c_str());
  wchar_t* value = nullptr;
  if (!::VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&value), &length) ||
      value == nullptr) {
    return std::nullopt;
  }
  return std::wstring(value, length > 0 && value[length - 1] == L'\0' ? length - 1 : length);
}

std::optional<std::array<unsigned, 4>> FileVersionInImage(const std::wstring& path) {
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  IMAGE_DOS_HEADER dos;
  DWORD signature = 0;
  IMAGE_FILE_HEADER header;
  WORD magic = 0;
  if (!file || !ReadAt(file.Get(), 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew < 0 || !ReadAt(file.Get(), dos.e_lfanew, &signature, sizeof(signature)) ||
      signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(file.Get(), dos.e_lfanew + 4, &header, sizeof(header))) {
    return std::nullopt;
  }
  // The data directories sit further on in a 64-bit optional header.
  const uint64_t optionalAt = static_cast<uint64_t>(dos.e_lfanew) + 4 + sizeof(header);
  if (!ReadAt(file.Get(), optionalAt, &magic, sizeof(magic))) return std::nullopt;
  const DWORD directoriesAt = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC   ? 112
                              : magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC ? 96
                                                                       : 0;
  const DWORD resourceAt =
      directoriesAt + IMAGE_DIRECTORY_ENTRY_RESOURCE * sizeof(IMAGE_DATA_DIRECTORY);
  IMAGE_DATA_DIRECTORY resources;
  if (directoriesAt == 0 || header.SizeOfOptionalHeader < resourceAt + sizeof(resources) ||
      !ReadAt(file.Get(), optionalAt + resourceAt, &resources, sizeof(resources))) {
    return std::nullopt;
  }
  std::vector<IMAGE_SECTION_HEADER> sections(std::min(header.NumberOfSections, kMaxSections));
  if (sections.empty() ||
      !ReadAt(file.Get(), optionalAt + header.SizeOfOptionalHeader, sections.data(),
              static_cast<DWORD>(sections.size() * sizeof(IMAGE_SECTION_HEADER)))) {
    return std::nullopt;
  }
  const auto offsetOf = [&](DWORD rva) -> std::optional<uint64_t> {
    for (const auto& section : sections) {
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < section.SizeOfRawData)
        return uint64_t{section.PointerToRawData} + (rva - section.VirtualAddress);
    }
    return std::nullopt;
  };
  const auto root = offsetOf(resources.VirtualAddress);
  if (resources.VirtualAddress == 0 || !root) return std::nullopt;

  // Resource tree: type, then name, then language. An entry is a name or id and an offset from
  // the root whose top bit says "another directory".
  const auto entryOf = [&](DWORD directory, std::optional<WORD> id) -> std::optional<DWORD> {
    IMAGE_RESOURCE_DIRECTORY head;
    if (!ReadAt(file.Get(), *root + directory, &head, sizeof(head))) return std::nullopt;
    const DWORD count =
        std::min<DWORD>(head.NumberOfNamedEntries + head.NumberOfIdEntries, kMaxResourceEntries);
    for (DWORD i = 0; i < count; ++i) {
      DWORD entry[2];
      if (!ReadAt(file.Get(), *root + directory + sizeof(head) + i * sizeof(entry), entry,
                  sizeof(entry))) {
        return std::nullopt;
      }
      if (!id || ((entry[0] & 0x80000000u) == 0 && LOWORD(entry[0]) == *id)) return entry[1];
    }
    return std::nullopt;
  };
  constexpr DWORD kDirectory = 0x80000000u;
  const auto type = entryOf(0, LOWORD(reinterpret_cast<ULONG_PTR>(RT_VERSION)));
  const auto name = type && (*type & kDirectory) ? entryOf(*type & ~kDirectory, {}) : std::nullopt;
  const auto language =
      name && (*name & kDirectory) ? entryOf(*name & ~kDirectory, {}) : std::nullopt;
  IMAGE_RESOURCE_DATA_ENTRY data;
  if (!language || (*language & kDirectory) ||
      !ReadAt(file.Get(), *root + *language, &data, sizeof(data))) {
    return std::nullopt;
  }
  // VS_VERSIONINFO: three WORDs and the key L"VS_VERSION_INFO", then the fixed part on a 32-bit
  // boundary.
  constexpr DWORD kFixedAt = 40;
  VS_FIXEDFILEINFO info;
  const auto dataAt = offsetOf(data.OffsetToData);
  if (!dataAt || data.Size < kFixedAt + sizeof(info) ||
      !ReadAt(file.Get(), *dataAt + kFixedAt, &info, sizeof(info)) ||
      info.dwSignature != VS_FFI_SIGNATURE) {
    return std::nullopt;
  }
  return std::array<unsigned, 4>{HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                                 HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS)};
}
