#include "platform/code_download_service.h"

#include <gtest/gtest.h>

#include <ocidl.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/module_info.h"
#include "common/reg_key.h"
#include "common/text_compare.h"
#include "installer/catalog.h"
#include "installer/core/catalog_table.h"
#include "installer/install_run.h"
#include "installer/removal_pass.h"
#include "installer/system_removal_platform.h"
#include "platform/cab_extractor.h"
#include "platform/code_base_download.h"
#include "platform/component_package.h"
#include "tests/win/http_test_server.h"
#include "tests/win/pump_until.h"
#include "tests/win/scripted_code_download.h"
#include "tests/win/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// COM unloads an unused in-process server only on the second look after it became unused.
void UnloadUnusedServers() {
  ::CoFreeUnusedLibrariesEx(0, 0);
  ::Sleep(20);
  ::CoFreeUnusedLibrariesEx(0, 0);
}

fs::path BuildFolder() { return fs::path(ModuleFilePath(nullptr)).parent_path().parent_path(); }
fs::path SampleCab(const std::wstring& name) { return BuildFolder() / L"cabfiles" / name; }
fs::path BadCab(const std::wstring& name) { return BuildFolder() / L"badcabs" / name; }

const CatalogRow& RowOf(const std::wstring& cabName) {
  for (const auto& row : kCatalogRows) {
    if (_wcsicmp(row.cabName, cabName.c_str()) == 0) return row;
  }
  throw std::runtime_error("no such row");
}

CLSID ClsidOf(const CatalogRow& row) {
  CLSID clsid = CLSID_NULL;
  (void)::CLSIDFromString(row.clsid, &clsid);
  return clsid;
}

// Records the notifications of one binding, and can abort it at a chosen status.
class RecordingCallback final : public CComObject<IBindStatusCallback> {
 public:
  std::vector<std::wstring> calls;
  std::vector<std::pair<ULONG, std::wstring>> progress;
  Microsoft::WRL::ComPtr<IBinding> binding;
  Microsoft::WRL::ComPtr<IUnknown> object;
  IID objectIid = IID_NULL;
  bool stopped = false;
  HRESULT stopResult = S_FALSE;
  ULONG abortAtStatus = 0;
  std::function<void(ULONG)> onStatus;
  DWORD threadId = ::GetCurrentThreadId();
  bool otherThread = false;

  STDMETHODIMP OnStartBinding(DWORD, IBinding* b) override {
    Note(L"OnStartBinding");
    binding = b;
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG status, LPCWSTR text) override {
    Note(L"OnProgress");
    progress.emplace_back(status, text ? text : L"");
    if (onStatus) onStatus(status);
    if (status == abortAtStatus && binding) {
      EXPECT_EQ(S_OK, binding->Abort());
    }
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
    Note(L"OnStopBinding");
    stopped = true;
    stopResult = result;
    binding.Reset();
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override {
    Note(L"GetBindInfo");
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* o) override {
    Note(L"OnObjectAvailable");
    objectIid = riid;
    object = o;
    return S_OK;
  }

  bool Has(ULONG status) const {
    return std::any_of(progress.begin(), progress.end(),
                       [&](const auto& p) { return p.first == status; });
  }

 private:
  void Note(const wchar_t* call) {
    if (::GetCurrentThreadId() != threadId) otherThread = true;
    if (calls.empty() || calls.back() != call) calls.push_back(call);
  }
};

// A throwaway Windows folder with its own download cache, so tests never touch the real one.
class ServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(SampleCab(L"Dastel.CAB")))
        << "sample CABs are built into " << SampleCab(L"").string();
    NewWindowsFolder();
  }
  // Modules the tests loaded would keep their folder from being removed. The runtime's callback
  // holder may keep a callback (and the class object it holds) alive, so drop those first.
  void TearDown() override {
    for (auto& callback : callbacks_) {
      callback->object.Reset();
      callback->binding.Reset();
    }
    UnloadUnusedServers();
  }
  fs::path Cache() const { return windows_->Path() / L"Downloaded Program Files"; }

  // A fresh Windows folder and a service over it; modules loaded from the last one go first.
  void NewWindowsFolder() {
    for (auto& callback : callbacks_) callback->object.Reset();
    UnloadUnusedServers();
    windows_ = std::make_unique<TempFolder>(L"kovira windows");
    fs::create_directories(windows_->Path() / L"system32");
    service_ = CCodeDownloadService(
        CComponentStore(windows_->Path().wstring(), (windows_->Path() / L"system32").wstring()));
  }

  // Requests the row's class from the CAB and pumps messages until the binding stops.
  HRESULT Install(const CatalogRow& row, const fs::path& cab,
                  Microsoft::WRL::ComPtr<RecordingCallback>& callback, DWORD versionMS = 0xFFFFFFFF,
                  DWORD versionLS = 0xFFFFFFFF, ULONG abortAtStatus = 0) {
    callback = MakeComObject<RecordingCallback>();
    callback->abortAtStatus = abortAtStatus;
    callback->onStatus = onStatus_;
    callbacks_.push_back(callback);
    Microsoft::WRL::ComPtr<IBindCtx> context;
    EXPECT_EQ(S_OK, ::CreateBindCtx(0, &context));
    EXPECT_EQ(S_OK, ::RegisterBindStatusCallback(context.Get(), callback.Get(), nullptr, 0));
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    const HRESULT hr = service_.GetClassObjectFromURL(
        ClsidOf(row), cab.c_str(), versionMS, versionLS, nullptr, context.Get(),
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IClassFactory,
        reinterpret_cast<void**>(factory.GetAddressOf()));
    if (hr == MK_S_ASYNCHRONOUS) {
      EXPECT_EQ(nullptr, factory.Get());
      EXPECT_TRUE(PumpUntil([&] { return callback->stopped; }, 30000))
          << "the binding never stopped";
    } else if (hr == S_OK) {
      callback->object = factory;
    }
    (void)::RevokeBindStatusCallback(context.Get(), callback.Get());
    return hr;
  }

  static void Unregister(const CatalogRow& row) {
    (void)RegKey::DeleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + row.clsid);
    (void)RegKey::DeleteTree(
        HKEY_LOCAL_MACHINE,
        std::wstring(L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") +
            row.clsid);
  }

  // Files anywhere below the throwaway Windows folder.
  std::vector<std::wstring> FilesUnderWindows() const {
    std::vector<std::wstring> files;
    for (const auto& entry : fs::recursive_directory_iterator(windows_->Path())) {
      if (entry.is_regular_file())
        files.push_back(fs::relative(entry.path(), windows_->Path()).wstring());
    }
    return files;
  }

  std::vector<Microsoft::WRL::ComPtr<RecordingCallback>> callbacks_;
  std::function<void(ULONG)> onStatus_;  // given to each binding's callback
  std::unique_ptr<TempFolder> windows_;
  CCodeDownloadService service_;
};

TEST_F(ServiceTest, InstallsAComponentAndHandsOutItsClassFactory) {
  const CatalogRow& row = RowOf(L"Dastel.CAB");
  Unregister(row);
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"Dastel.CAB"), callback));

  EXPECT_EQ(S_OK, callback->stopResult);
  EXPECT_FALSE(callback->otherThread);
  EXPECT_EQ((std::vector<std::wstring>{L"GetBindInfo", L"OnStartBinding", L"OnProgress",
                                       L"OnObjectAvailable", L"OnStopBinding"}),
            callback->calls);
  EXPECT_LT(callback->progress.size(), 10u);
  ASSERT_FALSE(callback->progress.empty());
  EXPECT_EQ(BINDSTATUS_FINDINGRESOURCE, callback->progress.front().first);
  int findings = 0;
  for (const auto& [status, text] : callback->progress) {
    findings += status == BINDSTATUS_FINDINGRESOURCE;
    if (status >= BINDSTATUS_BEGINDOWNLOADCOMPONENTS &&
        status <= BINDSTATUS_ENDDOWNLOADCOMPONENTS) {
      EXPECT_EQ(row.displayName, text);
    }
  }
  EXPECT_EQ(1, findings);
  EXPECT_TRUE(callback->Has(BINDSTATUS_INSTALLINGCOMPONENTS));
  EXPECT_NE(BINDSTATUS_FINDINGRESOURCE, callback->progress.back().first);

  // The factory makes objects of the class.
  EXPECT_TRUE(IsEqualIID(IID_IClassFactory, callback->objectIid));
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  ASSERT_EQ(S_OK, callback->object.As(&factory));
  Microsoft::WRL::ComPtr<IPersist> made;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPersist,
                                          reinterpret_cast<void**>(made.GetAddressOf())));
  CLSID madeClass = CLSID_NULL;
  ASSERT_EQ(S_OK, made->GetClassID(&madeClass));
  EXPECT_TRUE(IsEqualCLSID(ClsidOf(row), madeClass));

  // Files in the cache folder, class registered there, records written.
  const std::wstring module = (Cache() / row.moduleName).wstring();
  EXPECT_TRUE(fs::exists(module));
  EXPECT_TRUE(fs::exists(Cache() / row.infName));
  EXPECT_EQ(module, CComponentStore::RegisteredServer(row.clsid).value_or(L""));
  RegKey usage;
  ASSERT_EQ(ERROR_SUCCESS,
            usage.Open(HKEY_LOCAL_MACHINE,
                       L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\" +
                           CComponentStore::ModuleUsageKey(module)));
  EXPECT_EQ(row.clsid, usage.ReadString(L".Owner").value_or(L""));
  EXPECT_TRUE(usage.ReadString(row.clsid).has_value());
  RegKey shared;
  ASSERT_EQ(
      ERROR_SUCCESS,
      shared.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"));
  EXPECT_EQ(1u, shared.ReadDword(module).value_or(0));
  RegKey unit;
  ASSERT_EQ(
      ERROR_SUCCESS,
      unit.Open(HKEY_LOCAL_MACHINE,
                std::wstring(L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\") +
                    row.clsid + L"\\DownloadInformation"));
  EXPECT_EQ(SampleCab(L"Dastel.CAB").wstring(), unit.ReadString(L"CODEBASE").value_or(L""));
  EXPECT_EQ((Cache() / row.infName).wstring(), unit.ReadString(L"INF").value_or(L""));

  // Nothing else was left behind: the module, the INF, no staged copies.
  EXPECT_EQ(2u, FilesUnderWindows().size());
}

}  // namespace

namespace {

// Leftover private folders of the service in the temporary directory.
std::vector<std::wstring> PrivateFolders() {
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  std::vector<std::wstring> found;
  for (const auto& entry : fs::directory_iterator(temp)) {
    if (entry.path().filename().wstring().rfind(L"kvcd-", 0) == 0)
      found.push_back(entry.path().wstring());
  }
  return found;
}

bool AnyEvilFile(const fs::path& root) {
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->path().filename().wstring().find(L"evil") != std::wstring::npos) return true;
  }
  return false;
}

struct BadCase {
  const wchar_t* cab;
  HRESULT expected;
  bool leavesFiles;  // the component's files stay (installed, but the class is missing)
};

TEST_F(ServiceTest, BadCabsEndWithAFailureAndLeaveNothingBehind) {
  const BadCase cases[] = {
      {L"Halden.cab", kErrorDamagedCabinet, false},                      // truncated
      {L"Jorvel.cab", kErrorNotCabinet, false},                          // not a CAB
      {L"Kestro.cab", kErrorNotCabinet, false},                          // a saved HTML page
      {L"Lurrin.cab", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), false},  // no INF
      {L"Mirodel.cab", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
       false},                                                          // INF names a missing file
      {L"Norvak.cab", kErrorUnsafeMemberName, false},                   // hostile member names
      {L"Pavlen.cab", HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED), false},  // INF hooks
      {L"Quenta.cab", SPAPI_E_GENERAL_SYNTAX, false},   // DestDir outside the allowed folders
      {L"Rellis.cab", E_FAIL, false},                   // module refuses to register
      {L"Sarvo.cab", CLASS_E_CLASSNOTAVAILABLE, true},  // module lacks the class
      {L"Stavin.cab", kErrorDamagedCabinet, false},     // corrupted data
      {L"Tovrin.cab", kErrorDuplicateMember, false},    // two members, one name
      {L"Xandor.cab", kErrorDamagedCabinet, false},     // members' ranges overlap
  };
  const auto before = PrivateFolders();
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.cab);
    const CatalogRow& row = RowOf(c.cab);
    ASSERT_TRUE(fs::exists(BadCab(c.cab)));
    Microsoft::WRL::ComPtr<RecordingCallback> callback;
    ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, BadCab(c.cab), callback));
    // Some COM runtimes report a class its server does not provide as not registered.
    const bool classMissing =
        c.expected == CLASS_E_CLASSNOTAVAILABLE && callback->stopResult == REGDB_E_CLASSNOTREG;
    if (!classMissing) {
      EXPECT_EQ(c.expected, callback->stopResult) << std::hex << callback->stopResult;
    }
    EXPECT_EQ(nullptr, callback->object.Get());
    EXPECT_EQ(L"OnStopBinding", callback->calls.back());
    if (!callback->progress.empty()) {
      EXPECT_NE(BINDSTATUS_FINDINGRESOURCE, callback->progress.back().first);
    }
    if (!c.leavesFiles) {
      EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
    }
    UnloadUnusedServers();
    std::error_code ignored;
    fs::remove_all(Cache(), ignored);
    Unregister(row);
  }
  EXPECT_EQ(before, PrivateFolders());
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  for (const auto& entry : fs::directory_iterator(temp)) {
    EXPECT_EQ(std::wstring::npos, entry.path().filename().wstring().find(L"evil"))
        << entry.path().string();
  }
  EXPECT_FALSE(AnyEvilFile(windows_->Path()));
}

// A code base deeper than MAX_PATH, named in Korean, installs like any other.
TEST_F(ServiceTest, InstallsFromACabUnderALongUnicodePath) {
  const CatalogRow& row = RowOf(L"Dastel.CAB");
  Unregister(row);
  TempFolder scratch;
  fs::path folder = scratch.Path();
  for (const wchar_t syllable : {L'\uAC00', L'\uB098', L'\uB2E4', L'\uB77C'}) {
    folder /= std::wstring(70, syllable);
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder.wstring()).c_str(), nullptr));
  }
  const fs::path cab = folder / (std::wstring(70, L'\uCE74') + L".CAB");
  ASSERT_GT(cab.wstring().size(), static_cast<size_t>(MAX_PATH));
  ASSERT_TRUE(
      ::CopyFileW(SampleCab(L"Dastel.CAB").c_str(), (L"\\\\?\\" + cab.wstring()).c_str(), TRUE));

  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, cab, callback));
  EXPECT_EQ(S_OK, callback->stopResult);
  EXPECT_NE(nullptr, callback->object.Get());
  EXPECT_EQ((Cache() / row.moduleName).wstring(),
            CComponentStore::RegisteredServer(row.clsid).value_or(L""));
}

TEST_F(ServiceTest, HtmlCodeBaseIsReportedAsHtml) {
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(RowOf(L"Kestro.cab"), BadCab(L"Kestro.cab"), callback));
  ASSERT_FALSE(callback->progress.empty());
  EXPECT_EQ(BINDSTATUS_MIMETYPEAVAILABLE, callback->progress.back().first);
  EXPECT_EQ(L"text/html", callback->progress.back().second);
}

TEST_F(ServiceTest, AbortEndsTheBindingWithoutInstalling) {
  for (ULONG status : {BINDSTATUS_FINDINGRESOURCE, BINDSTATUS_BEGINDOWNLOADDATA,
                       BINDSTATUS_INSTALLINGCOMPONENTS}) {
    SCOPED_TRACE(status);
    const CatalogRow& row = RowOf(L"Istra.cab");
    Unregister(row);
    Microsoft::WRL::ComPtr<RecordingCallback> callback;
    ASSERT_EQ(MK_S_ASYNCHRONOUS,
              Install(row, SampleCab(L"Istra.cab"), callback, 0xFFFFFFFF, 0xFFFFFFFF, status));
    EXPECT_EQ(E_ABORT, callback->stopResult);
    EXPECT_EQ(nullptr, callback->object.Get());
    EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
    EXPECT_FALSE(CComponentStore::RegisteredServer(row.clsid).has_value());
  }
}

TEST_F(ServiceTest, RequestsWithoutCallbackOrCodeBaseFailAtOnce) {
  const CatalogRow& row = RowOf(L"Istra.cab");
  Unregister(row);
  Microsoft::WRL::ComPtr<IBindCtx> context;
  ASSERT_EQ(S_OK, ::CreateBindCtx(0, &context));
  IClassFactory* factory = reinterpret_cast<IClassFactory*>(0xdeadbeef);
  EXPECT_EQ(E_INVALIDARG, service_.GetClassObjectFromURL(
                              ClsidOf(row), SampleCab(L"Istra.cab").c_str(), 0xFFFFFFFF, 0xFFFFFFFF,
                              nullptr, context.Get(), CLSCTX_INPROC_SERVER, IID_IClassFactory,
                              reinterpret_cast<void**>(&factory)));
  EXPECT_EQ(nullptr, factory);
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  EXPECT_EQ(E_INVALIDARG, Install(row, L"", callback));
  EXPECT_TRUE(callback->calls.empty());
}

// An installed class at the requested version is handed out at once; a newer version, or the
// all-ones version, installs from the code base again.
TEST_F(ServiceTest, InstalledVersionIsAnsweredAtOnce) {
  const CatalogRow& row = RowOf(L"Istra.cab");
  Unregister(row);
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"Istra.cab"), callback));
  ASSERT_EQ(S_OK, callback->stopResult);
  callback->object.Reset();

  EXPECT_EQ(S_OK, Install(row, SampleCab(L"Istra.cab"), callback, 0x00010000, 0x00000001));
  EXPECT_NE(nullptr, callback->object.Get());
  EXPECT_TRUE(callback->calls.empty());
  callback->object.Reset();

  EXPECT_EQ(S_OK, Install(row, SampleCab(L"Istra.cab"), callback, 0, 0));
  callback->object.Reset();
  EXPECT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"Istra.cab"), callback, 0x00020000, 0));
}

// A file of the same name that belongs to another component stays where it is; ours goes to a
// conflict folder of its own, a new one each time.
TEST_F(ServiceTest, FileOwnedByAnotherComponentGoesToAConflictFolder) {
  const CatalogRow& row = RowOf(L"Ostrel.cab");
  Unregister(row);
  fs::create_directories(Cache());
  const std::wstring theirs = (Cache() / row.moduleName).wstring();
  TempFolder scratch;
  scratch.Touch(L"x");
  fs::copy_file(scratch.Path() / L"x", theirs);
  const std::wstring usageKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\" +
                                CComponentStore::ModuleUsageKey(theirs);
  RegKey usage;
  ASSERT_EQ(ERROR_SUCCESS, usage.Create(HKEY_LOCAL_MACHINE, usageKey));
  ASSERT_EQ(ERROR_SUCCESS, usage.WriteString(L".Owner", L"{00000000-1111-2222-3333-444444444444}"));
  usage.Close();

  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"Ostrel.cab"), callback));
  EXPECT_EQ(S_OK, callback->stopResult);
  EXPECT_EQ(4u, fs::file_size(theirs));  // untouched
  EXPECT_EQ((Cache() / L"CONFLICT.1" / row.moduleName).wstring(),
            CComponentStore::RegisteredServer(row.clsid).value_or(L""));
  callback->object.Reset();
  UnloadUnusedServers();

  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"Ostrel.cab"), callback));
  EXPECT_EQ(S_OK, callback->stopResult);
  EXPECT_TRUE(fs::exists(Cache() / L"CONFLICT.2" / row.moduleName));
  (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, usageKey);
  Unregister(row);
}

// Replacing a module that a process holds loaded fails before anything changes; once it is
// released, the same installation goes through and counts its client only once.
TEST_F(ServiceTest, ModuleInUseIsNotReplaced) {
  const CatalogRow& row = RowOf(L"GORVATH.CAB");
  Unregister(row);
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"GORVATH.CAB"), callback));
  ASSERT_EQ(S_OK, callback->stopResult);
  const std::wstring module = (Cache() / row.moduleName).wstring();
  ScopedModule held(::LoadLibraryW(module.c_str()));
  ASSERT_TRUE(held.IsValid());
  const auto filesBefore = FilesUnderWindows();

  Microsoft::WRL::ComPtr<RecordingCallback> second;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"GORVATH.CAB"), second));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), second->stopResult);
  EXPECT_EQ(filesBefore, FilesUnderWindows());

  // The callbacks themselves may outlive the test (the runtime's callback holder keeps one), so
  // the class factory is dropped explicitly.
  held.Reset();
  callback->object.Reset();
  UnloadUnusedServers();
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, SampleCab(L"GORVATH.CAB"), second));
  EXPECT_EQ(S_OK, second->stopResult);
  RegKey shared;
  ASSERT_EQ(
      ERROR_SUCCESS,
      shared.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"));
  EXPECT_EQ(1u, shared.ReadDword(module).value_or(0));
  Unregister(row);
}

}  // namespace

namespace {

class NoWaits final : public IRemovalPlatform {
 public:
  void StartAndWait(const std::wstring& commandLine) override {
    SystemRemovalPlatform().StartAndWait(commandLine);
  }
  void ShellOpenAndWait(const std::wstring& file, const std::wstring& parameters,
                        const std::wstring& folder) override {
    SystemRemovalPlatform().ShellOpenAndWait(file, parameters, folder);
  }
  void Pause(DWORD) override {}  // the animation's waits
};

// Every key and value below root\path, one line each ("key" and "key|name=type:bytes").
void Snapshot(HKEY root, const std::wstring& path, std::set<std::wstring>& lines) {
  RegKey key;
  if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS) return;
  lines.insert(path);
  DWORD subkeys = 0, longestKey = 0, values = 0, longestName = 0, longestData = 0;
  if (::RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, &longestKey, nullptr,
                         &values, &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
    return;
  std::vector<wchar_t> name(std::max(longestKey, longestName) + 1);
  std::vector<BYTE> data(longestData + 1);
  for (DWORD i = 0; i < values; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (::RegEnumValueW(key.Get(), i, name.data(), &nameLength, nullptr, &type, data.data(),
                        &size) != ERROR_SUCCESS)
      continue;
    std::wstring line =
        path + L"|" + std::wstring(name.data(), nameLength) + L"=" + std::to_wstring(type) + L":";
    for (DWORD b = 0; b < size; ++b) line += std::to_wstring(data[b]) + L",";
    lines.insert(line);
  }
  std::vector<std::wstring> children;
  for (DWORD i = 0; i < subkeys; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (::RegEnumKeyExW(key.Get(), i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS)
      children.emplace_back(name.data(), length);
  }
  for (const auto& child : children) Snapshot(root, path + L"\\" + child, lines);
}

// The registry a component installation writes to: the store's three records and the classes.
std::set<std::wstring> StoreRegistry() {
  std::set<std::wstring> lines;
  for (const wchar_t* path :
       {L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs",
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage",
        L"SOFTWARE\\Microsoft\\Code Store Database", L"SOFTWARE\\Classes\\CLSID"}) {
    Snapshot(HKEY_LOCAL_MACHINE, path, lines);
  }
  return lines;
}

std::vector<std::wstring> Difference(const std::set<std::wstring>& a,
                                     const std::set<std::wstring>& b) {
  std::vector<std::wstring> only;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(only));
  return only;
}

// Every sample the service installs, and then the removal pass: the store folder and the
// registry are as they were before (a component's second file, its shared-file count and its
// module-usage entry included).
TEST_F(ServiceTest, RemovalPassTakesBackEverythingEverySampleInstalled) {
  std::vector<std::wstring> cabs;
  for (const auto& entry : fs::directory_iterator(SampleCab(L"")))
    cabs.push_back(entry.path().filename().wstring());
  ASSERT_NE(cabs.end(), std::find(cabs.begin(), cabs.end(), L"Brenvo.cab"));
  // As on a fresh system: no earlier test's registration of these classes.
  for (const auto& cab : cabs) Unregister(RowOf(cab));
  const std::set<std::wstring> before = StoreRegistry();
  const std::vector<std::wstring> filesBefore = FilesUnderWindows();

  for (const auto& cab : cabs) {
    Microsoft::WRL::ComPtr<RecordingCallback> callback;
    ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(RowOf(cab), SampleCab(cab), callback));
    ASSERT_EQ(S_OK, callback->stopResult) << fs::path(cab).string();
  }
  TearDown();  // the removal unregisters and deletes the modules: none may stay loaded here
  ASSERT_TRUE(fs::exists(Cache() / L"BrenvoRes.dll"));
  ASSERT_NE(before, StoreRegistry());

  // The removal pass sees the same CABs present in a program's "cabfiles" folder.
  TempFolder program;
  for (const auto& cab : cabs) program.Touch(L"cabfiles\\" + cab);
  CCatalog catalog;
  ASSERT_TRUE(catalog.Scan(program / L"installer.exe"));
  CInstallRun run(catalog, [](UINT) { return std::wstring(L"%d/%d deleted."); });
  CLabeledProgressCtrl currentBar, totalBar;
  NoWaits platform;
  CRemovalPass pass(run,
                    RemovalDisplay{currentBar, totalBar, nullptr,
                                   [](UINT) { return std::wstring(L"%d/%d deleted."); }},
                    // The real system folder: its regsvr32 unregisters the modules.
                    &platform, windows_->Path().wstring(), std::wstring());
  pass.RemoveInstalledComponents();

  EXPECT_EQ(filesBefore, FilesUnderWindows());
  const std::set<std::wstring> after = StoreRegistry();
  EXPECT_EQ(std::vector<std::wstring>{}, Difference(after, before)) << "left behind";
  EXPECT_EQ(std::vector<std::wstring>{}, Difference(before, after)) << "taken, but not ours";
}

}  // namespace

namespace {

const std::string kWebPage = "<html><body>Moved elsewhere</body></html>";

std::string FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool InBrowserCache(const std::wstring& url) {
  DWORD size = 0;
  return ::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) ||
         ::GetLastError() != ERROR_FILE_NOT_FOUND;
}

// Code bases served over http by the test's own server.
class HttpCodeBaseTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    ASSERT_TRUE(server_.Listening());
  }
  // Nothing of a download stays: no private folder, no cache entry.
  static void ExpectNoTrace(const std::wstring& url, const std::vector<std::wstring>& before) {
    EXPECT_EQ(before, PrivateFolders());
    EXPECT_FALSE(InBrowserCache(url));
  }

  HttpTestServer server_;
};

TEST_F(HttpCodeBaseTest, CabOverHttpInstallsAsFromAFile) {
  const CatalogRow& row = RowOf(L"Dastel.CAB");
  Unregister(row);
  server_.Script("/cabs/Dastel.CAB",
                 {200, "application/octet-stream", FileBytes(SampleCab(L"Dastel.CAB"))});
  const std::wstring url = server_.Url("/cabs/Dastel.CAB");
  const auto before = PrivateFolders();
  Microsoft::WRL::ComPtr<RecordingCallback> callback;
  ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, url, callback));

  EXPECT_EQ(S_OK, callback->stopResult);
  EXPECT_EQ((std::vector<std::wstring>{L"GetBindInfo", L"OnStartBinding", L"OnProgress",
                                       L"OnObjectAvailable", L"OnStopBinding"}),
            callback->calls);
  EXPECT_TRUE(IsEqualIID(IID_IClassFactory, callback->objectIid));
  EXPECT_EQ((Cache() / row.moduleName).wstring(),
            CComponentStore::RegisteredServer(row.clsid).value_or(L""));
  EXPECT_EQ(2u, FilesUnderWindows().size());  // the module and the INF
  ASSERT_TRUE(server_.WaitForExchanges(1, 5000));
  EXPECT_TRUE(server_.Exchanges()[0].complete);
  ExpectNoTrace(url, before);
  Unregister(row);
}

TEST_F(HttpCodeBaseTest, RefusedResponsesEndTheBindingAndLeaveNothingBehind) {
  using Response = HttpTestServer::Response;
  struct Case {
    const char* path;
    Response response;
    HRESULT expected;
    bool reportedAsHtml;
    std::optional<bool> cutShort;  // the server saw the connection go before the body's end
  };
  const uint64_t cap = CCodeBaseDownload::kMaxBytes;
  const Case cases[] = {
      // A big web page, trickling: refused as its content type comes.
      {"/page/Istra.cab", {200, "text/html", kWebPage, 1 << 20, 10}, kErrorNotCabinet, true, true},
      {"/missing/Istra.cab", {404, "text/html", kWebPage}, INET_E_RESOURCE_NOT_FOUND, false, false},
      {"/failing/Istra.cab",
       {500, "application/octet-stream", "MSCF"},
       INET_E_DOWNLOAD_FAILURE,
       false,
       false},
      // The rest of a body of declared length may be read to its end by the system.
      {"/big/Istra.cab",
       {200, "application/octet-stream", "MSCF", cap},
       CBindStatusReader::kErrorTooLarge,
       false,
       std::nullopt},
      {"/endless/Istra.cab",
       {200, "application/octet-stream", "MSCF", HttpTestServer::kEndless},
       CBindStatusReader::kErrorTooLarge,
       false,
       true},
  };
  const CatalogRow& row = RowOf(L"Istra.cab");
  Unregister(row);
  const auto before = PrivateFolders();
  size_t exchanges = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    server_.Script(c.path, c.response);
    const std::wstring url = server_.Url(c.path);
    Microsoft::WRL::ComPtr<RecordingCallback> callback;
    ASSERT_EQ(MK_S_ASYNCHRONOUS, Install(row, url, callback));
    EXPECT_EQ(c.expected, callback->stopResult) << std::hex << callback->stopResult;
    EXPECT_EQ(nullptr, callback->object.Get());
    EXPECT_EQ(c.reportedAsHtml, callback->Has(BINDSTATUS_MIMETYPEAVAILABLE));
    if (c.reportedAsHtml) {
      EXPECT_EQ(BINDSTATUS_MIMETYPEAVAILABLE, callback->progress.back().first);
      EXPECT_EQ(L"text/html", callback->progress.back().second);
    }
    ASSERT_TRUE(server_.WaitForExchanges(++exchanges, 5000));
    const HttpTestServer::Exchange exchange = server_.Exchanges().back();
    if (c.cutShort) {
      EXPECT_EQ(*c.cutShort, !exchange.complete);
    }
    EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
    ExpectNoTrace(url, before);
  }
  EXPECT_FALSE(CComponentStore::RegisteredServer(row.clsid).has_value());
}

TEST_F(HttpCodeBaseTest, AbortDuringASlowBodyEndsTheBindingAtOnce) {
  const CatalogRow& row = RowOf(L"Istra.cab");
  Unregister(row);
  using Response = HttpTestServer::Response;
  const std::pair<const char*, Response> bodies[] = {
      {"/trickling/Istra.cab",
       {200, "application/octet-stream", "MSCF", HttpTestServer::kEndless, 20}},
      {"/stalled/Istra.cab", {200, "application/octet-stream", "MSCF", 1 << 20, 60000}},
  };
  const auto before = PrivateFolders();
  size_t requests = 0;
  for (const auto& [path, response] : bodies) {
    SCOPED_TRACE(path);
    server_.Script(path, response);
    const std::wstring url = server_.Url(path);
    auto callback = MakeComObject<RecordingCallback>();
    callbacks_.push_back(callback);
    Microsoft::WRL::ComPtr<IBindCtx> context;
    ASSERT_EQ(S_OK, ::CreateBindCtx(0, &context));
    ASSERT_EQ(S_OK, ::RegisterBindStatusCallback(context.Get(), callback.Get(), nullptr, 0));
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    ASSERT_EQ(MK_S_ASYNCHRONOUS, service_.GetClassObjectFromURL(
                                     ClsidOf(row), url.c_str(), 0xFFFFFFFF, 0xFFFFFFFF, nullptr,
                                     context.Get(), CLSCTX_INPROC_SERVER, IID_IClassFactory,
                                     reinterpret_cast<void**>(factory.GetAddressOf())));
    // Well into the body: the request came, and a while passed.
    ASSERT_TRUE(PumpUntil([&] { return server_.Requests() == requests + 1; }));
    ++requests;
    const ULONGLONG flowing = ::GetTickCount64() + 200;
    (void)PumpUntil([&] { return ::GetTickCount64() > flowing; });
    ASSERT_FALSE(callback->stopped);

    ASSERT_EQ(S_OK, callback->binding->Abort());
    const ULONGLONG aborted = ::GetTickCount64();
    ASSERT_TRUE(PumpUntil([&] { return callback->stopped; }, 5000));
    EXPECT_LT(::GetTickCount64() - aborted, 300u);
    EXPECT_EQ(E_ABORT, callback->stopResult);
    (void)::RevokeBindStatusCallback(context.Get(), callback.Get());
    EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
    ExpectNoTrace(url, before);
  }
}

// The package's copy of a network code base is private: a temporary file under the CAB's own
// name (its INF is found by it), gone with the package.
TEST_F(HttpCodeBaseTest, PrivateCopyGoesWithThePackage) {
  const CatalogRow& row = RowOf(L"Dastel.CAB");
  server_.Script("/Dastel.CAB",
                 {200, "application/octet-stream", FileBytes(SampleCab(L"Dastel.CAB"))});
  std::wstring copy;
  {
    CComponentPackage package(
        row.clsid, server_.Url("/Dastel.CAB"),
        CComponentStore(windows_->Path().wstring(), (windows_->Path() / L"system32").wstring()));
    const std::atomic<bool> cancel{false};
    EXPECT_EQ(S_OK, package.Prepare(cancel));
    copy = package.LocalCab();
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    EXPECT_TRUE(StartsWithNoCase(copy, temp)) << fs::path(copy).string();
    EXPECT_EQ(L"Dastel.CAB", fs::path(copy).filename().wstring());
    EXPECT_EQ(FileBytes(SampleCab(L"Dastel.CAB")), FileBytes(copy));
  }
  EXPECT_FALSE(fs::exists(fs::path(copy).parent_path()));
}

fs::path StoreCab(const std::wstring& name) { return BuildFolder() / L"storecabs" / name; }
fs::path StoreFile(const std::wstring& name) {
  return BuildFolder() / L"storecabs" / L"files" / name;
}
const wchar_t kOtherOwner[] = L"{00000000-1111-2222-3333-444444444444}";

// A file's size and a hash of its bytes, short enough to read in a failure; "missing" without it.
std::string Fingerprint(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (!in.is_open()) return "missing";
  return std::to_string(bytes.size()) + " bytes #" +
         std::to_string(std::hash<std::string>{}(bytes));
}

std::wstring UsageKey(const fs::path& file) {
  return kModuleUsageKey + CComponentStore::ModuleUsageKey(file.wstring());
}

std::wstring OwnerOf(const fs::path& file) {
  RegKey usage;
  if (usage.Open(HKEY_LOCAL_MACHINE, UsageKey(file)) != ERROR_SUCCESS) return L"(no record)";
  return usage.ReadString(L".Owner").value_or(L"(no owner)");
}

// The class's registered server as written, whether or not the file is there; empty when none.
std::wstring ClassServer(const std::wstring& clsid) {
  RegKey key;
  if (key.Open(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32") != ERROR_SUCCESS)
    return L"";
  return key.ReadString(L"").value_or(L"");
}

// The renames the system does at the next restart (pairs of NUL-terminated paths), put back as
// they were when this goes: the tests make the service schedule some.
class PendingRenames {
 public:
  PendingRenames() : before_(Read()) {}
  ~PendingRenames() {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, kKey, KEY_SET_VALUE) != ERROR_SUCCESS) return;
    ::RegDeleteValueW(key.Get(), kValue);
    if (!before_.empty()) {
      ::RegSetValueExW(key.Get(), kValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(before_.data()),
                       static_cast<DWORD>(before_.size() * sizeof(wchar_t)));
    }
  }
  // The file the restart moves over target, replacing it; empty when none.
  static std::wstring MovedOver(const std::wstring& target) {
    const std::wstring text = Read();
    const size_t to = text.find(std::wstring(1, L'\0') + L"!\\??\\" + target + L'\0');
    if (to == std::wstring::npos) return L"";
    const size_t from = text.rfind(L'\0', to - 1) + 1;  // npos + 1: the first entry
    return text.substr(from + 4, to - from - 4);        // without "\??\"
  }

 private:
  static constexpr wchar_t kKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr wchar_t kValue[] = L"PendingFileRenameOperations";
  static std::wstring Read() {
    RegKey key;
    DWORD bytes = 0;
    if (key.Open(HKEY_LOCAL_MACHINE, kKey) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.Get(), kValue, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
      return L"";
    std::wstring text(bytes / sizeof(wchar_t), L'\0');
    ::RegQueryValueExW(key.Get(), kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()),
                       &bytes);
    return text;
  }
  std::wstring before_;
};

// Installs CABs into throwaway stores that already hold files.
class StoreRulesTest : public ServiceTest {
 protected:
  void TearDown() override {
    ::SetEnvironmentVariableW(kHold, nullptr);
    ServiceTest::TearDown();
    for (const wchar_t* cab :
         {L"Varnis.cab", L"Wendal.cab", L"Ulmen.cab", L"Dastel.CAB", L"Xandor.cab", L"Zarnet.cab",
          L"Brenvo.cab", L"Ostrel.cab", L"Rellis.cab", L"Istra.cab"}) {
      Unregister(RowOf(cab));
    }
  }

  // The binding's result of installing the row's class from cab; its class object is let go.
  HRESULT InstallResult(const wchar_t* row, const fs::path& cab) {
    Microsoft::WRL::ComPtr<RecordingCallback> callback;
    EXPECT_EQ(MK_S_ASYNCHRONOUS, Install(RowOf(row), cab, callback));
    callback->object.Reset();
    UnloadUnusedServers();
    return callback->stopResult;
  }

  // Puts a file below the Windows folder: a copy of a file of storecabs/files, or text without a
  // version when from is null; with a ModuleUsage owner unless owner is null.
  void Put(const std::wstring& relative, const wchar_t* from, const wchar_t* owner) {
    const fs::path path = windows_->Path() / relative;
    fs::create_directories(path.parent_path());
    if (from != nullptr) {
      fs::copy_file(StoreFile(from), path, fs::copy_options::overwrite_existing);
    } else {
      std::ofstream(path, std::ios::binary) << "text without a version";
    }
    RegKey usage;
    if (owner == nullptr) return;
    ASSERT_EQ(ERROR_SUCCESS, usage.Create(HKEY_LOCAL_MACHINE, UsageKey(path)));
    ASSERT_EQ(ERROR_SUCCESS, usage.WriteString(L".Owner", owner));
  }

  // Every file below the Windows folder with its fingerprint.
  std::map<std::wstring, std::string> Contents() const {
    std::map<std::wstring, std::string> contents;
    for (const auto& file : FilesUnderWindows())
      contents[file] = Fingerprint(windows_->Path() / file);
    return contents;
  }

  static constexpr wchar_t kHold[] = L"KOVIRA_SAMPLE_HOLD";
};

struct ExistingFileCase {
  const wchar_t* file;      // below the Windows folder
  const wchar_t* existing;  // what is there first (storecabs/files); null: text without a version
  const wchar_t* owner;     // its recorded owner; null: no record
  bool replaced;
};

// Varnis.cab brings each file at version 1.0.0.1 (VarnisWords.dat by its INF's FileVersion).
TEST_F(StoreRulesTest, AFileItDoesNotOwnIsReplacedOnlyByANewerOne) {
  const CatalogRow& row = RowOf(L"Varnis.cab");
  const std::wstring words = L"Downloaded Program Files\\VarnisWords.dat";
  const std::wstring notes = L"Downloaded Program Files\\VarnisNotes.txt";
  const ExistingFileCase cases[] = {
      {L"system32\\version.dll", L"VersionNewer.dll", nullptr, false},
      {L"system32\\version.dll", L"VarnisLex.dll", nullptr, false},  // as new
      {L"system32\\version.dll", L"VersionOlder.dll", nullptr, true},
      {L"system32\\version.dll", nullptr, nullptr, false},
      {L"VarnisLex.dll", L"VersionOlder.dll", kOtherOwner, true},
      {L"VarnisLex.dll", L"VersionNewer.dll", kOtherOwner, false},
      {words.c_str(), L"VersionNewer.dll", L"Unknown", false},
      {words.c_str(), L"VersionOlder.dll", nullptr, true},
      {notes.c_str(), nullptr, nullptr, false},  // no version on either side
      {notes.c_str(), nullptr, L"Unknown", false},
      {notes.c_str(), nullptr, row.clsid, true},  // its own
  };
  for (const ExistingFileCase& c : cases) {
    SCOPED_TRACE(std::wstring(c.file) + L" over " + (c.existing ? c.existing : L"text"));
    NewWindowsFolder();
    Put(c.file, c.existing, c.owner);
    const fs::path file = windows_->Path() / c.file;
    const std::string before = Fingerprint(file);

    EXPECT_EQ(S_OK, InstallResult(L"Varnis.cab", StoreCab(L"Varnis.cab")));
    EXPECT_EQ(c.replaced ? Fingerprint(StoreFile(file.filename())) : before, Fingerprint(file));
    EXPECT_EQ(c.owner ? c.owner : L"Unknown", OwnerOf(file));  // and the component uses it
    RegKey usage;
    ASSERT_EQ(ERROR_SUCCESS, usage.Open(HKEY_LOCAL_MACHINE, UsageKey(file)));
    EXPECT_TRUE(usage.ReadString(row.clsid).has_value());
    EXPECT_EQ(6u, FilesUnderWindows().size());  // five files and the INF: no backup left
  }
}

TEST_F(StoreRulesTest, AnInfIsOwnedAndAnotherComponentsInfOfThatNameStays) {
  ASSERT_EQ(S_OK, InstallResult(L"Dastel.CAB", SampleCab(L"Dastel.CAB")));
  const fs::path theirs = Cache() / L"Dastel.inf";
  EXPECT_EQ(RowOf(L"Dastel.CAB").clsid, OwnerOf(theirs));
  const std::string before = Fingerprint(theirs);

  ASSERT_EQ(S_OK, InstallResult(L"Ulmen.cab", StoreCab(L"Ulmen.cab")));  // its INF: Dastel.inf
  EXPECT_EQ(before, Fingerprint(theirs));
  const fs::path ours = Cache() / L"CONFLICT.1" / L"Dastel.inf";
  EXPECT_EQ(Fingerprint(BuildFolder() / L"tests/fixtures/inf/store/Ulmen.cab/Dastel.inf"),
            Fingerprint(ours));
  EXPECT_EQ(RowOf(L"Ulmen.cab").clsid, OwnerOf(ours));
}

struct NameCase {
  const wchar_t* row;
  fs::path cab;
  const wchar_t* installedFirst;  // a good CAB installed before; null: none
  const wchar_t* folder;          // a folder made in the cache before; null: none
};

TEST_F(StoreRulesTest, AMemberNameThatIsNotItsFilesOwnIsRefused) {
  const NameCase cases[] = {
      // BREN~B44.DLL is Wine's short name of Brenvo's BrenvoRes.dll.
      {L"Wendal.cab", StoreCab(L"Wendal.cab"), L"Brenvo.cab", nullptr},
      {L"Istra.cab", SampleCab(L"Istra.cab"), nullptr, L"IstraSign.dll"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.row);
    NewWindowsFolder();
    if (c.installedFirst) {
      ASSERT_EQ(S_OK, InstallResult(c.installedFirst, SampleCab(c.installedFirst)));
    }
    if (c.folder) fs::create_directories(Cache() / c.folder);
    wchar_t alias[MAX_PATH] = {};
    ::GetShortPathNameW((Cache() / L"BrenvoRes.dll").c_str(), alias, MAX_PATH);
    ASSERT_TRUE(!c.installedFirst || fs::path(alias).filename() == L"BREN~B44.DLL") << alias;
    const auto before = Contents();

    EXPECT_EQ(kErrorUnsafeMemberName, InstallResult(c.row, c.cab));
    EXPECT_EQ(before, Contents());
  }
}

TEST_F(StoreRulesTest, OwnersAreFoundUnderLongNamesWhenTheStoreIsGivenShortOnes) {
  Put(L"Downloaded Program Files\\Ostrel.ocx", L"VersionOlder.dll", kOtherOwner);
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetShortPathNameW(windows_->Path().c_str(), windows, MAX_PATH));
  ASSERT_NE(windows_->Path().wstring(), windows);
  service_ =
      CCodeDownloadService(CComponentStore(windows, windows_->Path().wstring() + L"\\system32"));

  ASSERT_EQ(S_OK, InstallResult(L"Ostrel.cab", SampleCab(L"Ostrel.cab")));
  EXPECT_EQ(Fingerprint(StoreFile(L"VersionOlder.dll")), Fingerprint(Cache() / L"Ostrel.ocx"));
  const fs::path ours = Cache() / L"CONFLICT.1" / L"Ostrel.ocx";
  EXPECT_EQ(ours.wstring(), ClassServer(RowOf(L"Ostrel.cab").clsid));
  EXPECT_EQ(RowOf(L"Ostrel.cab").clsid, OwnerOf(ours));
}

struct RollBackCase {
  const wchar_t* hold;  // what the failing module holds on to (KOVIRA_SAMPLE_HOLD)
  HRESULT result;
  const wchar_t* moduleAfter;  // the file at the failing module's place afterwards
};

// Dastel.CAB of storecabs replaces older DastelFail.dll and system32\DastelSys.dll, whose
// originals come back when DastelFail.dll fails to register.
TEST_F(StoreRulesTest, AFailedInstallPutsOriginalsBackOrKeepsThemForTheRestart) {
  const RollBackCase cases[] = {
      {L"", E_FAIL, L"VersionOlder.dll"},
      {L"load", E_FAIL, L"VersionOlder.dll"},  // a loaded module can still be renamed away
      {L"open", kErrorRollbackAtRestart, L"DastelFail.dll"},
  };
  const PendingRenames restoredAtEnd;
  for (const RollBackCase& c : cases) {
    SCOPED_TRACE(c.hold);
    NewWindowsFolder();
    Put(L"Downloaded Program Files\\DastelFail.dll", L"VersionOlder.dll", nullptr);
    Put(L"system32\\DastelSys.dll", L"VersionOlder.dll", nullptr);
    const fs::path module = Cache() / L"DastelFail.dll";
    ::SetEnvironmentVariableW(kHold, *c.hold ? c.hold : nullptr);

    EXPECT_EQ(c.result, InstallResult(L"Dastel.CAB", StoreCab(L"Dastel.CAB")));
    const std::string original = Fingerprint(StoreFile(L"VersionOlder.dll"));
    EXPECT_EQ(Fingerprint(StoreFile(c.moduleAfter)), Fingerprint(module));
    EXPECT_EQ(original, Fingerprint(windows_->Path() / L"system32\\DastelSys.dll"));
    EXPECT_FALSE(fs::exists(Cache() / L"Dastel.ocx"));
    if (c.result == kErrorRollbackAtRestart) {
      // The original waits beside its place, and the restart moves it back.
      EXPECT_EQ(original, Fingerprint(PendingRenames::MovedOver(module.wstring())));
    } else if (!*c.hold) {
      EXPECT_EQ(2u, FilesUnderWindows().size());  // the two originals: no backup left
    }
    if (HMODULE held = ::GetModuleHandleW(module.c_str())) {
      using Release = void(WINAPI*)();
      reinterpret_cast<Release>(::GetProcAddress(held, "SampleReleaseHold"))();
      ::FreeLibrary(held);
    }
  }
}

struct UnregisterCase {
  const wchar_t* installedFirst;  // the row's good CAB; null: nothing before
  bool registeredAfter;
};

TEST_F(StoreRulesTest, AFailedInstallUnregistersWhatItRegistered) {
  const CatalogRow& row = RowOf(L"Dastel.CAB");
  for (const UnregisterCase& c : {UnregisterCase{nullptr, false}, {L"Dastel.CAB", true}}) {
    SCOPED_TRACE(c.registeredAfter);
    NewWindowsFolder();
    Unregister(row);
    if (c.installedFirst) {
      ASSERT_EQ(S_OK, InstallResult(row.cabName, SampleCab(row.cabName)));
    }
    const auto before = Contents();

    EXPECT_EQ(E_FAIL, InstallResult(row.cabName, StoreCab(row.cabName)));
    EXPECT_EQ(before, Contents());
    // The earlier install's module, back in place, is registered again.
    EXPECT_EQ(c.registeredAfter ? (Cache() / row.moduleName).wstring() : L"",
              ClassServer(row.clsid));
  }
}

TEST_F(StoreRulesTest, OnlyAModuleImageIsLoadedToRegister) {
  const CatalogRow& notes = RowOf(L"Zarnet.cab");  // the class XandorNotes.txt registers
  Unregister(notes);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT),
            InstallResult(L"Xandor.cab", StoreCab(L"Xandor.cab")));
  EXPECT_EQ(L"", ClassServer(notes.clsid));
  EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
}

struct ConflictCase {
  std::vector<std::wstring> folders;  // CONFLICT.* folders there before
  std::vector<std::wstring> files;    // CONFLICT.* plain files there before
  const wchar_t* row;
  HRESULT result;
  const wchar_t* folderUsed;  // null: none is left
};

// The row's module in the cache belongs to another component each time.
TEST_F(StoreRulesTest, ConflictFoldersAreNumberedAfterTheHighestFolderAndNotLeftEmpty) {
  const ConflictCase cases[] = {
      {{L"CONFLICT.2147483647"}, {}, L"Ostrel.cab", S_OK, L"CONFLICT.2147483648"},
      {{L"CONFLICT.99999999999999999999"},
       {},
       L"Ostrel.cab",
       S_OK,
       L"CONFLICT.100000000000000000000"},
      {{L"CONFLICT.3"}, {L"CONFLICT.9"}, L"Ostrel.cab", S_OK, L"CONFLICT.4"},
      {{L"CONFLICT.3"}, {L"CONFLICT.4"}, L"Ostrel.cab", S_OK, L"CONFLICT.5"},
      {{L"CONFLICT.x", L"CONFLICT.007"}, {}, L"Ostrel.cab", S_OK, L"CONFLICT.8"},
      {{}, {}, L"Rellis.cab", E_FAIL, nullptr},  // its module fails to register
  };
  for (const ConflictCase& c : cases) {
    SCOPED_TRACE(c.folderUsed ? c.folderUsed : c.row);
    NewWindowsFolder();
    const CatalogRow& row = RowOf(c.row);
    Put(L"Downloaded Program Files\\" + std::wstring(row.moduleName), L"VersionOlder.dll",
        kOtherOwner);
    for (const auto& folder : c.folders) fs::create_directories(Cache() / folder);
    for (const auto& file : c.files) std::ofstream(Cache() / file) << "x";
    const fs::path cab = c.result == S_OK ? SampleCab(c.row) : BadCab(c.row);

    EXPECT_EQ(c.result, InstallResult(c.row, cab));
    std::vector<std::wstring> expected = c.folders;
    expected.insert(expected.end(), c.files.begin(), c.files.end());
    if (c.folderUsed) expected.push_back(c.folderUsed);
    std::vector<std::wstring> found;
    for (const auto& entry : fs::directory_iterator(Cache())) {
      const std::wstring name = entry.path().filename().wstring();
      if (name.rfind(L"CONFLICT.", 0) == 0) found.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(expected, found);
    if (c.folderUsed) {
      EXPECT_EQ((Cache() / c.folderUsed / row.moduleName).wstring(), ClassServer(row.clsid));
    }
  }
}

TEST_F(StoreRulesTest, AFileThatAppearsAfterPlanningIsNeverOverwritten) {
  const CatalogRow& row = RowOf(L"Istra.cab");
  const fs::path module = Cache() / row.moduleName;
  onStatus_ = [&](ULONG status) {
    if (status == BINDSTATUS_INSTALLINGCOMPONENTS) std::ofstream(module) << "theirs";
  };
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS),
            InstallResult(row.cabName, SampleCab(row.cabName)));
  EXPECT_EQ("6 bytes #" + std::to_string(std::hash<std::string>{}("theirs")), Fingerprint(module));
  EXPECT_EQ(std::vector<std::wstring>{L"Downloaded Program Files\\IstraSign.dll"},
            FilesUnderWindows());
  EXPECT_EQ(L"", ClassServer(row.clsid));
}

TEST_F(StoreRulesTest, AnOwnerRecordThatCannotBeWrittenFailsTheComponent) {
  const CatalogRow& row = RowOf(L"Istra.cab");
  const fs::path module = Cache() / row.moduleName;
  // A record of the module's path that anyone may read, and nobody write to.
  RegKey usage;
  ASSERT_EQ(ERROR_SUCCESS, usage.Create(HKEY_LOCAL_MACHINE, UsageKey(module)));
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof(everyone);
  ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize));
  alignas(DWORD) BYTE aclBytes[256];
  auto* acl = reinterpret_cast<ACL*>(aclBytes);
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(::InitializeAcl(acl, sizeof(aclBytes), ACL_REVISION) &&
              ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone) &&
              ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
              ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE));
  ASSERT_EQ(ERROR_SUCCESS,
            ::RegSetKeySecurity(usage.Get(), DACL_SECURITY_INFORMATION, &descriptor));
  usage.Close();

  EXPECT_EQ(E_ACCESSDENIED, InstallResult(row.cabName, SampleCab(row.cabName)));
  EXPECT_EQ(std::vector<std::wstring>{}, FilesUnderWindows());
  EXPECT_EQ(L"", ClassServer(row.clsid));
  EXPECT_EQ(ERROR_SUCCESS, RegKey::DeleteTree(HKEY_LOCAL_MACHINE, UsageKey(module)));
}

}  // namespace
