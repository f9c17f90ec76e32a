#include "platform/cab_extractor.h"

#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>

#include "common/scoped_owner.h"
#include "common/text_compare.h"
#include "common/text_conversion.h"
#include "platform/core/cab_check.h"
#include "platform/core/member_name.h"

namespace {

// FDI's file callbacks carry no context of their own; each handle we give FDI points at one of
// these, which also carries the write budget of an output file.
struct FdiFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  uint64_t remaining = 0;  // bytes the member may still write (declared size)
  bool output = false;
};

struct Session {
  std::wstring folder;  // with trailing backslash
  const CCabExtractor::Chooser* choose = nullptr;
  const std::atomic<bool>* cancel = nullptr;
  CCabExtractor::Limits limits;
  std::vector<std::string>* members = nullptr;
  uint64_t totalBytes = 0;
  uint32_t count = 0;
  HRESULT failure = S_OK;
};

FNALLOC(FdiAlloc) { return std::malloc(cb); }
FNFREE(FdiFree) { std::free(pv); }

FNOPEN(FdiOpen) {
  // Only the cabinet itself is opened by name (UTF-8, from Extract); outputs are created in Notify.
  if ((oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)) != 0) return -1;
  const std::wstring path = Utf8ToWide(pszFile);
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  (void)pmode;
  return reinterpret_cast<INT_PTR>(new FdiFile{h, 0, false});
}

FNREAD(FdiRead) {
  auto* file = reinterpret_cast<FdiFile*>(hf);
  DWORD read = 0;
  if (!::ReadFile(file->handle, pv, cb, &read, nullptr)) return static_cast<UINT>(-1);
  return read;
}

FNWRITE(FdiWrite) {
  auto* file = reinterpret_cast<FdiFile*>(hf);
  if (!file->output || cb > file->remaining) return static_cast<UINT>(-1);  // more than declared
  DWORD written = 0;
  if (!::WriteFile(file->handle, pv, cb, &written, nullptr) || written != cb)
    return static_cast<UINT>(-1);
  file->remaining -= cb;
  return cb;
}

FNCLOSE(FdiClose) {
  auto* file = reinterpret_cast<FdiFile*>(hf);
  const BOOL ok = ::CloseHandle(file->handle);
  delete file;
  return ok ? 0 : -1;
}

FNSEEK(FdiSeek) {
  auto* file = reinterpret_cast<FdiFile*>(hf);
  const DWORD method = seektype == SEEK_SET   ? FILE_BEGIN
                       : seektype == SEEK_CUR ? FILE_CURRENT
                                              : FILE_END;
  const DWORD pos = ::SetFilePointer(file->handle, dist, nullptr, method);
  return pos == INVALID_SET_FILE_POINTER ? -1 : static_cast<__LONG32>(pos);
}

// The member name as UTF-8: CABs flag UTF-8 names; others are in the ANSI code page.
std::string MemberName(const char* raw, USHORT attribs) {
  if ((attribs & _A_NAME_IS_UTF) != 0) return raw;
  return WideToUtf8(AnsiToWide(raw));
}

// True when path names an entry directly inside folder (both compared as full paths).
bool IsDirectlyInside(const std::wstring& path, const std::wstring& folder) {
  wchar_t full[MAX_PATH];
  const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH) return false;
  const std::wstring fullPath(full, length);
  if (fullPath.size() <= folder.size() || !StartsWithNoCase(fullPath, folder)) return false;
  return fullPath.find_first_of(L"\\/", folder.size()) == std::wstring::npos;
}

INT_PTR CreateMember(Session& s, const std::string& name, uint32_t size) {
  if (!IsPlainMemberName(name)) {
    s.failure = kErrorUnsafeMemberName;
    return -1;
  }
  const std::wstring path = s.folder + Utf8ToWide(name);
  if (!IsDirectlyInside(path, s.folder)) {
    s.failure = kErrorUnsafeMemberName;
    return -1;
  }
  // New files only: a second member of the same name (in any letter case) cannot replace the first.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    s.failure = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                    ? kErrorDuplicateMember
                    : HRESULT_FROM_WIN32(error);
    return -1;
  }
  return reinterpret_cast<INT_PTR>(new FdiFile{h, size, true});
}

FNFDINOTIFY(FdiNotify) {
  auto& s = *static_cast<Session*>(pfdin->pv);
  if (s.cancel && s.cancel->load()) {
    s.failure = E_ABORT;
    return -1;
  }
  switch (fdint) {
    case fdintCOPY_FILE: {
      const std::string name = MemberName(pfdin->psz1, pfdin->attribs);
      if (s.members) s.members->push_back(name);
      const uint32_t size = static_cast<uint32_t>(pfdin->cb);
      s.totalBytes += size;
      if (++s.count > s.limits.maxMembers || s.totalBytes > s.limits.maxTotalBytes) {
        s.failure = kErrorCabinetTooLarge;
        return -1;
      }
      switch ((*s.choose)(name, size)) {
        case CCabExtractor::Decision::kSkip:
          return 0;
        case CCabExtractor::Decision::kFail:
          if (s.failure == S_OK) s.failure = kErrorUnsafeMemberName;
          return -1;
        case CCabExtractor::Decision::kExtract:
          return CreateMember(s, name, size);
      }
      return -1;
    }
    case fdintCLOSE_FILE_INFO: {
      auto* file = reinterpret_cast<FdiFile*>(pfdin->hf);
      const bool complete = file->remaining == 0;
      FdiClose(pfdin->hf);
      if (!complete) s.failure = kErrorDamagedCabinet;  // fewer bytes than the member declared
      return complete ? TRUE : -1;
    }
    case fdintNEXT_CABINET:
      s.failure = kErrorDamagedCabinet;  // a set spanning several cabinets is not a component CAB
      return -1;
    default:
      return 0;
  }
}

HRESULT FromFdiError(int error) {
  switch (error) {
    case FDIERROR_NOT_A_CABINET:
    case FDIERROR_UNKNOWN_CABINET_VERSION:
      return kErrorNotCabinet;
    case FDIERROR_CABINET_NOT_FOUND:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    case FDIERROR_ALLOC_FAIL:
      return E_OUTOFMEMORY;
    default:
      return kErrorDamagedCabinet;
  }
}

// The whole cabinet is checked before the decompressor sees it: some decompressors write out
// of bounds on a damaged data block, so a damaged one must never reach them.
HRESULT CheckWholeCabinet(const std::wstring& cabPath, const CCabExtractor::Limits& limits) {
  ScopedFile file(::CreateFileW(cabPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.Get(), &size)) return kErrorDamagedCabinet;
  const CabReader read = [&](uint64_t offset, void* buffer, size_t bytes) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD got = 0;
    return ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) &&
           ::ReadFile(file.Get(), buffer, static_cast<DWORD>(bytes), &got, nullptr) && got == bytes;
  };
  CabCheckLimits checkLimits;
  checkLimits.maxUncompressed = limits.maxTotalBytes;
  checkLimits.maxFiles = limits.maxMembers;
  switch (CheckCabinet(static_cast<uint64_t>(size.QuadPart), read, checkLimits).error) {
    case CabCheckError::kNone:
      return S_OK;
    case CabCheckError::kNotCabinet:
      return kErrorNotCabinet;
    case CabCheckError::kUnsupportedCompression:
      return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    case CabCheckError::kTooLarge:
      return kErrorCabinetTooLarge;
    default:
      return kErrorDamagedCabinet;
  }
}

}  // namespace

HRESULT CCabExtractor::Extract(const std::wstring& cabPath, const std::wstring& folder,
                               const Chooser& choose, std::vector<std::string>* members) {
  Session session;
  session.folder = folder;
  if (session.folder.empty() || session.folder.back() != L'\\') session.folder += L'\\';
  session.choose = &choose;
  session.cancel = cancel_;
  session.limits = limits_;
  session.members = members;

  // FDI joins the path and name it is given and hands the result to FdiOpen, which reads UTF-8.
  const size_t slash = cabPath.find_last_of(L"\\/");
  std::string cabFolder =
      WideToUtf8(slash == std::wstring::npos ? L"" : cabPath.substr(0, slash + 1));
  std::string cabName =
      WideToUtf8(slash == std::wstring::npos ? cabPath : cabPath.substr(slash + 1));

  if (const HRESULT checked = CheckWholeCabinet(cabPath, limits_); FAILED(checked)) return checked;

  ERF erf = {};
  HFDI fdi = ::FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                         cpuUNKNOWN, &erf);
  if (fdi == nullptr) return E_OUTOFMEMORY;

  HRESULT hr = S_OK;
  const INT_PTR probe = FdiOpen(const_cast<char*>((cabFolder + cabName).c_str()), _O_RDONLY, 0);
  if (probe == -1) {
    hr = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  } else {
    FDICABINETINFO info = {};
    const BOOL isCabinet = ::FDIIsCabinet(fdi, probe, &info);
    FdiClose(probe);
    if (!isCabinet) {
      hr = kErrorNotCabinet;
    } else if (info.hasprev || info.hasnext) {
      hr = kErrorDamagedCabinet;
    } else if (!::FDICopy(fdi, cabName.data(), cabFolder.data(), 0, FdiNotify, nullptr, &session)) {
      hr = session.failure != S_OK ? session.failure : FromFdiError(erf.erfOper);
    } else if (session.failure != S_OK) {
      hr = session.failure;
    }
  }
  ::FDIDestroy(fdi);
  return hr;
}
