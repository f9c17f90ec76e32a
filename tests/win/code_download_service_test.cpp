#include "platform/code_download_service.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/module_info.h"
#include "common/reg_key.h"
#include "installer/catalog.h"
#include "installer/core/catalog_table.h"
#include "installer/install_run.h"
#include "installer/removal_pass.h"
#include "installer/system_removal_platform.h"
#include "platform/cab_extractor.h"
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
    fs::create_directories(windows_.Path() / L"system32");
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
  fs::path Cache() const { return windows_.Path() / L"Downloaded Program Files"; }

  // Requests the row's class from the CAB and pumps messages until the binding stops.
  HRESULT Install(const CatalogRow& row, const fs::path& cab,
                  Microsoft::WRL::ComPtr<RecordingCallback>& callback, DWORD versionMS = 0xFFFFFFFF,
                  DWORD versionLS = 0xFFFFFFFF, ULONG abortAtStatus = 0) {
    callback = MakeComObject<RecordingCallback>();
    callback->abortAtStatus = abortAtStatus;
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
    for (const auto& entry : fs::recursive_directory_iterator(windows_.Path())) {
      if (entry.is_regular_file())
        files.push_back(fs::relative(entry.path(), windows_.Path()).wstring());
    }
    return files;
  }

  std::vector<Microsoft::WRL::ComPtr<RecordingCallback>> callbacks_;
  TempFolder windows_{L"kovira windows"};
  CCodeDownloadService service_{
      CComponentStore(windows_.Path().wstring(), (windows_.Path() / L"system32").wstring())};
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
  EXPECT_FALSE(AnyEvilFile(windows_.Path()));
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
                    &platform, windows_.Path().wstring(), std::wstring());
  pass.RemoveInstalledComponents();

  EXPECT_EQ(filesBefore, FilesUnderWindows());
  const std::set<std::wstring> after = StoreRegistry();
  EXPECT_EQ(std::vector<std::wstring>{}, Difference(after, before)) << "left behind";
  EXPECT_EQ(std::vector<std::wstring>{}, Difference(before, after)) << "taken, but not ours";
}

}  // namespace
