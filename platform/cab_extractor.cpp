#include "platform/cab_extractor.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "common/text_compare.h"
#include "common/text_conversion.h"
#include "common/win_error.h"
#include "platform/core/cab_unpacker.h"
#include "platform/core/member_name.h"

namespace {

constexpr size_t kReadWindow = 1 << 20;
constexpr size_t kWriteBuffer = 1 << 20;

// The full form of path (relative to the current folder when not absolute), of any length;
// empty on failure, with the error in GetLastError.
std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return {};
  }
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);  // the length needed, with the terminator
  }
  ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return {};
}

// The same path in the form the file functions take at any length. Such paths go to the file
// system as they stand, so they must be full paths already.
std::wstring ExtendedLengthPath(const std::wstring& full) {
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The CAB is read through its one handle, in order (the tables, the block headers, then the
// blocks), so through a large window of the file: few calls into the system.
class CabFileReader {
 public:
  explicit CabFileReader(HANDLE file) : file_(file) {}

  bool Read(uint64_t offset, void* buffer, size_t size) {
    if (offset >= start_ && offset - start_ <= filled_ && size <= filled_ - (offset - start_)) {
      std::memcpy(buffer, window_.data() + (offset - start_), size);
      return true;
    }
    window_.resize(std::max(kReadWindow, size));
    start_ = offset;
    filled_ = ReadAt(offset, window_.data(), window_.size());
    if (filled_ < size) return false;
    std::memcpy(buffer, window_.data(), size);
    return true;
  }

 private:
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) const {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!::ReadFile(file_, buffer, static_cast<DWORD>(size), &read, &at)) return 0;
    return read;
  }

  HANDLE file_;
  std::vector<uint8_t> window_;
  uint64_t start_ = 0;
  size_t filled_ = 0;
};

// The member name as UTF-8: CABs flag UTF-8 names; others are in the ANSI code page.
std::string MemberName(const CabFile& file) {
  if ((file.attributes & kCabNameIsUtf8) != 0) return file.name;
  return WideToUtf8(AnsiToWide(file.name));
}

bool HasDuplicateNames(const std::vector<std::string>& names) {
  std::vector<std::wstring> upper;
  upper.reserve(names.size());
  for (const std::string& name : names) {
    std::wstring wide = Utf8ToWide(name);
    if (!wide.empty()) ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
    upper.push_back(std::move(wide));
  }
  std::sort(upper.begin(), upper.end());
  return std::adjacent_find(upper.begin(), upper.end()) != upper.end();
}

HRESULT FromCheckError(CabCheckError error) {
  switch (error) {
    case CabCheckError::kNone:
      return S_OK;
    case CabCheckError::kNotCabinet:
      return kErrorNotCabinet;
    case CabCheckError::kUnsupportedCompression:
      return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    case CabCheckError::kTooLarge:
      return kErrorCabinetTooLarge;
    case CabCheckError::kCancelled:
      return E_ABORT;
    default:
      return kErrorDamagedCabinet;
  }
}

// Writes the chosen members as new files in the folder through one large buffer, and deletes
// every file it created unless told to keep them.
class MemberWriter final : public CCabUnpacker::Sink {
 public:
  // folder: a full path with its trailing separator.
  MemberWriter(std::wstring folder, const std::vector<std::string>& names,
               const std::vector<CabFile>& files, const CCabExtractor::Chooser& choose,
               const std::atomic<bool>* cancel)
      : folder_(std::move(folder)), names_(names), files_(files), choose_(choose), cancel_(cancel) {
    buffer_.resize(kWriteBuffer);
  }
  ~MemberWriter() override {
    file_.Reset();
    if (keep_) return;
    for (const std::wstring& path : created_) (void)::DeleteFileW(path.c_str());
  }
  MemberWriter(const MemberWriter&) = delete;
  MemberWriter& operator=(const MemberWriter&) = delete;

  bool Begin(size_t index) override {
    // The unpacker looks before each block; members can be many to a block.
    if (cancel_ != nullptr && cancel_->load()) {
      failure_ = E_ABORT;
      return false;
    }
    switch (choose_(names_[index], files_[index].size)) {
      case CCabExtractor::Decision::kSkip:
        return true;
      case CCabExtractor::Decision::kExtract:
        return Create(names_[index]);
      case CCabExtractor::Decision::kFail:
        break;
    }
    failure_ = kErrorUnsafeMemberName;
    return false;
  }

  bool Write(const uint8_t* data, size_t size) override {
    if (!file_) return true;  // not chosen: decoded and dropped
    while (size > 0) {
      const size_t part = std::min(size, buffer_.size() - used_);
      std::memcpy(buffer_.data() + used_, data, part);
      used_ += part;
      data += part;
      size -= part;
      if (used_ == buffer_.size() && !Flush()) return false;
    }
    return true;
  }

  bool End() override {
    if (!file_) return true;
    const bool flushed = Flush();
    file_.Reset();
    return flushed;
  }

  void Keep() { keep_ = true; }
  HRESULT Failure() const { return failure_; }

 private:
  bool Create(const std::string& name) {
    failure_ = kErrorUnsafeMemberName;
    if (!IsPlainMemberName(name)) return false;
    // Checked again on the joined path as the system resolves it: directly inside the folder.
    const std::wstring path = FullPath(folder_ + Utf8ToWide(name));
    if (path.size() <= folder_.size() || !StartsWithNoCase(path, folder_) ||
        path.find_first_of(L"\\/", folder_.size()) != std::wstring::npos) {
      return false;
    }
    // New files only: a second member of the same name (in any letter case) cannot replace
    // the first, nor can a member replace a file that was there.
    const std::wstring extended = ExtendedLengthPath(path);
    file_.Reset(::CreateFileW(extended.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file_) {
      const DWORD error = ::GetLastError();
      failure_ = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                     ? kErrorDuplicateMember
                     : HResultFromWin32(error);
      return false;
    }
    created_.push_back(extended);
    return true;
  }

  bool Flush() {
    size_t done = 0;
    while (done < used_) {
      DWORD written = 0;
      if (!::WriteFile(file_.Get(), buffer_.data() + done, static_cast<DWORD>(used_ - done),
                       &written, nullptr) ||
          written == 0) {
        failure_ = HResultFromLastError();
        return false;
      }
      done += written;
    }
    used_ = 0;
    return true;
  }

  const std::wstring folder_;
  const std::vector<std::string>& names_;
  const std::vector<CabFile>& files_;
  const CCabExtractor::Chooser& choose_;
  const std::atomic<bool>* cancel_;
  ScopedFile file_;  // the member being written; empty while one is dropped
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  std::vector<std::wstring> created_;
  bool keep_ = false;
  HRESULT failure_ = E_FAIL;
};

}  // namespace

CCabExtractor::CCabExtractor() = default;
CCabExtractor::CCabExtractor(Limits limits) : limits_(limits) {}
CCabExtractor::~CCabExtractor() = default;

HRESULT CCabExtractor::Open(const std::wstring& cabPath) {
  if (cab_) return E_UNEXPECTED;
  const std::wstring full = FullPath(cabPath);
  if (full.empty()) return HResultFromLastError();
  // Others may read it, but no one may change, rename or delete it while it is open.
  ScopedFile file(::CreateFileW(ExtendedLengthPath(full).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return HResultFromLastError();
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.Get(), &size)) return HResultFromLastError();

  auto reader = std::make_shared<CabFileReader>(file.Get());
  CabCheckLimits checkLimits;
  checkLimits.maxUncompressed = limits_.maxTotalBytes;
  checkLimits.maxFiles = limits_.maxMembers;
  auto unpacker = std::make_unique<CCabUnpacker>(
      static_cast<uint64_t>(size.QuadPart),
      [reader](uint64_t offset, void* buffer, size_t bytes) {
        return reader->Read(offset, buffer, bytes);
      },
      checkLimits);
  if (const CabCheckResult r = unpacker->Open(); r.error != CabCheckError::kNone) {
    return FromCheckError(r.error);
  }
  std::vector<std::string> names;
  for (const CabFile& member : unpacker->Files()) names.push_back(MemberName(member));
  if (HasDuplicateNames(names)) return kErrorDuplicateMember;

  cab_ = std::move(file);
  unpacker_ = std::move(unpacker);
  members_ = std::move(names);
  return S_OK;
}

HRESULT CCabExtractor::Extract(const std::wstring& folder, const Chooser& choose) {
  if (!unpacker_ || extracted_) return E_UNEXPECTED;
  extracted_ = true;
  std::wstring full = FullPath(folder);
  if (full.empty()) return HResultFromLastError();
  if (full.back() != L'\\') full += L'\\';
  MemberWriter writer(std::move(full), members_, unpacker_->Files(), choose, cancel_);
  const CabCheckResult r = unpacker_->Unpack(writer, cancel_);
  if (r.error == CabCheckError::kStopped) return writer.Failure();
  if (r.error != CabCheckError::kNone) return FromCheckError(r.error);
  writer.Keep();
  return S_OK;
}
