#include "platform/component_package.h"

#include <objbase.h>
#include <olectl.h>
#include <shlwapi.h>
#include <urlmon.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <optional>

#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "common/system_folders.h"
#include "common/text_compare.h"
#include "common/text_conversion.h"
#include "common/win_error.h"
#include "platform/cab_extractor.h"
#include "platform/code_base_download.h"
#include "platform/core/member_name.h"
#include "platform/core/package_rules.h"

namespace {

constexpr DWORD kMaxInfBytes = 64 * 1024;
constexpr DWORD kRegisterTimeoutMs = 60000;

std::wstring StemOf(const std::wstring& path) {
  std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  return name.substr(0, name.rfind(L'.'));
}

HRESULT ReadHead(const std::wstring& path, std::string& head, DWORD bytes) {
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr));
  if (!file) return HResultFromLastError();
  head.assign(bytes, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.Get(), head.data(), bytes, &read, nullptr)) return HResultFromLastError();
  head.resize(read);
  return S_OK;
}

HRESULT ErrorForInf(InfError error) {
  switch (error) {
    case InfError::kHooksUnsupported:
      return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
    case InfError::kBadFileName:
      return kErrorUnsafeMemberName;
    case InfError::kTooLarge:
      return kErrorCabinetTooLarge;
    default:
      return SPAPI_E_GENERAL_SYNTAX;
  }
}

std::wstring NewPrivateFolder() {
  const std::wstring temp = TempFolder();
  if (temp.empty()) return {};
  GUID guid;
  if (FAILED(::CoCreateGuid(&guid))) return {};
  wchar_t name[64];
  swprintf(name, 64, L"kvcd-%08lx%04x%04x", guid.Data1, guid.Data2, guid.Data3);
  std::wstring folder = temp + name;
  // Fresh: an existing folder of that name is not ours.
  return ::CreateDirectoryW(folder.c_str(), nullptr) ? folder : std::wstring();
}

void RemoveFlatFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  ScopedFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (find) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ::DeleteFileW((folder + L"\\" + data.cFileName).c_str());
      }
    } while (::FindNextFileW(find.Get(), &data));
  }
  find.Reset();
  ::RemoveDirectoryW(folder.c_str());
}

// Reads the extracted INF into inf and checks that every file it lists as in this CAB is a
// member; it may name nothing to fetch from elsewhere.
HRESULT ReadInf(const std::wstring& path, const std::vector<std::string>& members,
                CodeDownloadInf& inf) {
  std::string text;
  const HRESULT hr = ReadHead(path, text, kMaxInfBytes + 1);
  if (FAILED(hr)) return hr;
  const InfParseResult parsed = ParseCodeDownloadInf(text);
  if (parsed.error != InfError::kNone) return ErrorForInf(parsed.error);
  switch (CheckInfFilesPresent(parsed.inf, members).error) {
    case PackageError::kNone:
      break;
    case PackageError::kMissingMember:
      return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    default:
      return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
  }
  inf = parsed.inf;
  return S_OK;
}

}  // namespace

CComponentPackage::CComponentPackage(std::wstring clsid, std::wstring codeBase,
                                     CComponentStore store)
    : clsid_(std::move(clsid)), codeBase_(std::move(codeBase)), store_(std::move(store)) {}

CComponentPackage::~CComponentPackage() {
  CComponentStore::Discard(placements_);
  if (!folder_.empty()) RemoveFlatFolder(folder_);
}

HRESULT CComponentPackage::Prepare(const std::atomic<bool>& cancel) {
  HRESULT hr = Fetch(cancel);
  if (SUCCEEDED(hr) && !html_) hr = Unpack(cancel);
  if (SUCCEEDED(hr) && !html_) hr = cancel.load() ? E_ABORT : Stage();
  return hr;
}

HRESULT CComponentPackage::Fetch(const std::atomic<bool>& cancel) {
  if (::PathIsURLW(codeBase_.c_str())) {
    if (::UrlIsFileUrlW(codeBase_.c_str())) {
      wchar_t path[MAX_PATH];
      DWORD length = MAX_PATH;
      if (FAILED(::PathCreateFromUrlW(codeBase_.c_str(), path, &length, 0)))
        return INET_E_INVALID_URL;
      localCab_ = path;
    } else {
      download_ = std::make_unique<CCodeBaseDownload>();
      const HRESULT hr = download_->Run(codeBase_, cancel);
      localCab_ = download_->File();
      if (FAILED(hr)) return hr;
      // Refused as its content type came: reported as a saved web page is.
      html_ = download_->IsHtml();
      if (html_) return S_OK;
    }
  } else {
    localCab_ = codeBase_;
  }
  std::string head;
  const HRESULT hr = ReadHead(localCab_, head, 512);
  if (FAILED(hr)) return hr;
  if (head.rfind("MSCF", 0) == 0) return S_OK;
  // A web server's error page saved under the CAB's name is the usual non-CAB code base.
  size_t i = head.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
  if (i < head.size() && head[i] == '<') {
    html_ = true;
    return S_OK;
  }
  return kErrorNotCabinet;
}

HRESULT CComponentPackage::Unpack(const std::atomic<bool>& cancel) {
  folder_ = NewPrivateFolder();
  if (folder_.empty()) return HResultFromLastError();
  CCabExtractor extractor;
  extractor.SetCancelFlag(&cancel);
  HRESULT hr = extractor.Open(localCab_);
  if (FAILED(hr)) return hr;
  const std::vector<std::string>& members = extractor.Members();
  const std::optional<std::string> infName =
      ChooseInfMember(members, WideToUtf8(StemOf(localCab_)));
  if (!infName) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  infMember_ = Utf8ToWide(*infName);

  // One pass. The INF says what else to take: members after it that it does not list are
  // dropped as they come; those before it are kept until it has been read, then deleted unless
  // listed.
  bool infDone = false;
  bool infRead = false;
  HRESULT infResult = S_OK;
  std::vector<std::string> extracted;
  const auto readInf = [&] {
    infRead = true;
    infResult = ReadInf(folder_ + L"\\" + infMember_, members, inf_);
    return SUCCEEDED(infResult);
  };
  hr = extractor.Extract(folder_, [&](const std::string& name, uint32_t) {
    if (infDone && !infRead && !readInf()) return CCabExtractor::Decision::kFail;
    bool take = false;
    if (name == *infName) {
      take = infDone = true;
    } else if (infRead) {
      take = ListsMember(inf_, name);
    } else {
      take = IsPlainMemberName(name);  // INFs list plain names only
    }
    if (take) extracted.push_back(name);
    return take ? CCabExtractor::Decision::kExtract : CCabExtractor::Decision::kSkip;
  });
  if (FAILED(infResult)) return infResult;
  if (FAILED(hr)) return hr;
  if (!infRead && !readInf()) return infResult;
  for (const std::string& name : extracted) {
    if (name != *infName && !ListsMember(inf_, name)) {
      (void)::DeleteFileW((folder_ + L"\\" + Utf8ToWide(name)).c_str());  // never staged
    }
  }

  // Listed main control first; installed in reverse order.
  for (auto it = inf_.files.rbegin(); it != inf_.files.rend(); ++it) {
    if (it->location != "thiscab") continue;
    File file;
    file.entry = *it;
    const auto member = std::find_if(members.begin(), members.end(), [&](const std::string& m) {
      return EqualsNoCase(m, it->name);
    });
    file.path = folder_ + L"\\" + Utf8ToWide(*member);
    const bool isExecutable = HasModuleExtension(*member);
    file.selfRegister = it->registerServer == InfFileEntry::Register::kYes ||
                        (it->registerServer == InfFileEntry::Register::kDefault && isExecutable &&
                         FileVersionString(file.path, L"OLESelfRegister").has_value());
    files_.push_back(file);
  }

  // People know the component by its main module's description.
  const auto main = std::find_if(files_.begin(), files_.end(), [&](const File& f) {
    return !f.entry.clsid.empty() && EqualsNoCase(Utf8ToWide(f.entry.clsid), clsid_);
  });
  const File* described = main != files_.end() ? &*main : files_.empty() ? nullptr : &files_.back();
  displayName_ = StemOf(localCab_);
  if (described) {
    if (auto description = FileVersionString(described->path, L"FileDescription");
        description && !description->empty()) {
      displayName_ = *description;
    }
    if (auto version = FileVersionOf(described->path)) {
      version_ = std::to_wstring((*version)[0]) + L"," + std::to_wstring((*version)[1]) + L"," +
                 std::to_wstring((*version)[2]) + L"," + std::to_wstring((*version)[3]);
    }
  }
  return S_OK;
}

HRESULT CComponentPackage::Stage() {
  for (File& file : files_) {
    std::optional<CComponentStore::Version> declared;
    if (file.entry.hasFileVersion) {
      const uint16_t* v = file.entry.fileVersion;
      declared = CComponentStore::Version{v[0], v[1], v[2], v[3]};
    }
    const HRESULT hr = Place(Utf8ToWide(file.entry.name), file.entry.destDir, file.path, declared);
    if (FAILED(hr)) return hr;
    file.path = placements_.back().target;
  }
  // The INF is kept in the cache folder with the component, as a record of what it installed.
  return Place(infMember_, 0, folder_ + L"\\" + infMember_, std::nullopt);
}

HRESULT CComponentPackage::Place(const std::wstring& name, int destDir, const std::wstring& source,
                                 const std::optional<CComponentStore::Version>& declaredVersion) {
  CComponentStore::Placement placement;
  const HRESULT hr =
      store_.Plan(clsid_, name, destDir, source, declaredVersion, conflictFolder_, placement);
  if (FAILED(hr)) return hr;
  placements_.push_back(std::move(placement));  // also when staging fails: Discard clears up
  return CComponentStore::Stage(placements_.back());
}

HRESULT CComponentPackage::Register(const File& file, bool unregister) const {
  std::string head;
  if (FAILED(ReadHead(file.path, head, kPeHeadBytes)) ||
      CheckRegistrable(WideToUtf8(file.path), head).error != PackageError::kNone) {
    return HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT);
  }
  const bool isProgram = EndsWithNoCase(file.path, L".exe");
  if (isProgram) {
    std::wstring commandLine =
        L"\"" + file.path + (unregister ? L"\" /UnregServer" : L"\" /RegServer");
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(file.path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                          nullptr, nullptr, &startup, &info)) {
      return HResultFromLastError();
    }
    ScopedHandle process(info.hProcess);
    ScopedHandle thread(info.hThread);
    if (::WaitForSingleObject(process.Get(), kRegisterTimeoutMs) != WAIT_OBJECT_0)
      return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    return code == 0 ? S_OK : SELFREG_E_CLASS;
  }
  ScopedModule module(::LoadLibraryExW(file.path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) return HResultFromLastError();
  using RegisterServer = HRESULT(STDAPICALLTYPE*)();
  auto registerServer = reinterpret_cast<RegisterServer>(
      ::GetProcAddress(module.Get(), unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  if (registerServer == nullptr) return HResultFromLastError();
  const HRESULT hr = registerServer();
  return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT CComponentPackage::RecordFiles() {
  for (size_t i = 0; i < placements_.size(); ++i) {
    // The modules are shared files of their owners; the INF (placed last) is only owned.
    const HRESULT hr = store_.RecordFile(clsid_, placements_[i], i < files_.size());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CComponentPackage::Undo(const std::vector<size_t>& registered, HRESULT failure) {
  // Registrations first: they need the component's files.
  for (auto it = registered.rbegin(); it != registered.rend(); ++it) {
    // One that cannot unregister keeps its keys, as it would with regsvr32 /u.
    (void)Register(files_[*it], true);
  }
  const HRESULT rolledBack = CComponentStore::RollBack(placements_);
  for (const size_t i : registered) {
    // Ours took over the original's registration and then took it away: it registers again.
    const CComponentStore::Placement& placement = placements_[i];
    if (placement.action == CComponentStore::Placement::Action::kReplace &&
        !placement.restorePending) {
      (void)Register(files_[i]);  // best effort: the original is back either way
    }
  }
  for (CComponentStore::Placement& placement : placements_)
    CComponentStore::EraseRecord(clsid_, placement);
  return FAILED(rolledBack) ? rolledBack : failure;
}

HRESULT CComponentPackage::Install() {
  // Owners first: a store that cannot say who owns a file gets no file.
  HRESULT hr = RecordFiles();
  if (SUCCEEDED(hr)) hr = CComponentStore::Commit(placements_);
  if (FAILED(hr)) return Undo({}, hr);
  std::vector<size_t> registered;
  for (size_t i = 0; i < files_.size(); ++i) {
    // A kept file is not ours: it is used as it is.
    if (!files_[i].selfRegister ||
        placements_[i].action == CComponentStore::Placement::Action::kKeep) {
      continue;
    }
    hr = Register(files_[i]);
    if (FAILED(hr)) return Undo(registered, hr);
    registered.push_back(i);
  }
  std::vector<std::wstring> paths;
  for (size_t i = 0; i < files_.size(); ++i) paths.push_back(placements_[i].target);
  store_.RecordComponent(clsid_, displayName_, codeBase_, placements_.back().target, version_,
                         paths);
  CComponentStore::Discard(placements_);
  return S_OK;
}
