#include "installer/store_cleanup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/reg_key.h"
#include "installer/core/catalog_table.h"
#include "installer/deletion_list.h"
#include "platform/component_store.h"
#include "tests/win/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const wchar_t kSharedDlls[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const wchar_t kUnits[] = L"SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";
const wchar_t kUsage[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";

const CatalogRow& Row(size_t index) { return kCatalogRows[index]; }
size_t IndexOf(const wchar_t* cabName) {
  for (size_t i = 0; i < kCatalogSize; ++i) {
    if (std::wstring(kCatalogRows[i].cabName) == cabName) return i;
  }
  return kCatalogSize;
}

bool KeyExists(const std::wstring& path) {
  RegKey key;
  return key.Open(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS;
}

bool SharedCountExists(const std::wstring& path) {
  RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kSharedDlls) != ERROR_SUCCESS) return false;
  return ::RegQueryValueExW(key.Get(), path.c_str(), nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

// A throwaway Windows folder whose store records are written by the code-download service's own
// store, so the clean-up is checked against the names that really get recorded.
class StoreCleanupTest : public testing::Test {
 protected:
  StoreCleanupTest()
      : store_(windows_.Path().wstring(), (windows_.Path() / L"system32").wstring()) {
    fs::create_directories(windows_.Path() / L"system32");
    fs::create_directories(store_.CacheFolder());
    fs::create_directories(program_.Path() / L"cabfiles");
  }

  ~StoreCleanupTest() override {
    RegKey shared;
    if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDlls, KEY_SET_VALUE) == ERROR_SUCCESS) {
      for (const auto& path : files_) ::RegDeleteValueW(shared.Get(), path.c_str());
    }
    for (const auto& path : files_)
      (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kUsage + CComponentStore::ModuleUsageKey(path));
    for (const auto& clsid : units_) (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, kUnits + clsid);
  }

  std::wstring CachePath(const std::wstring& name) const {
    return store_.CacheFolder() + L"\\" + name;
  }

  // What installing a file of the component leaves in the registry.
  void RecordFile(const wchar_t* clsid, const std::wstring& name, bool counted = true) {
    CComponentStore::Placement placement;
    placement.target = CachePath(name);
    ASSERT_EQ(S_OK, store_.RecordFile(clsid, placement, counted));
    files_.insert(placement.target);
  }
  void RecordComponent(size_t row, std::vector<std::wstring> otherFiles = {}) {
    const CatalogRow& r = Row(row);
    RecordFile(r.clsid, r.moduleName);
    RecordFile(r.clsid, r.infName, false);
    otherFiles.insert(otherFiles.begin(), CachePath(r.moduleName));
    store_.RecordComponent(r.clsid, r.displayName, L"file://x", CachePath(r.infName), L"1,0,0,1",
                           otherFiles);
    units_.insert(r.clsid);
  }
  // A file at any path, recorded for clsid; existedBefore as the store records a file that was
  // there before any record of it.
  void RecordPath(const wchar_t* clsid, const std::wstring& path, bool existedBefore = false) {
    CComponentStore::Placement placement;
    placement.target = path;
    placement.action = existedBefore ? CComponentStore::Placement::Action::kKeep
                                     : CComponentStore::Placement::Action::kCreate;
    ASSERT_EQ(S_OK, store_.RecordFile(clsid, placement));
    files_.insert(path);
  }
  static std::optional<DWORD> Count(const std::wstring& path) {
    RegKey shared;
    if (shared.Open(HKEY_LOCAL_MACHINE, kSharedDlls) != ERROR_SUCCESS) return std::nullopt;
    return shared.ReadDword(path);
  }
  static std::vector<std::wstring> Users(const std::wstring& path) {
    RegKey usage;
    if (usage.Open(HKEY_LOCAL_MACHINE, kUsage + CComponentStore::ModuleUsageKey(path)) !=
        ERROR_SUCCESS) {
      return {L"(no key)"};
    }
    std::vector<std::wstring> names = usage.ValueNames();
    std::sort(names.begin(), names.end());
    return names;
  }

  bool HasUsage(const std::wstring& name) const {
    return KeyExists(kUsage + CComponentStore::ModuleUsageKey(CachePath(name)));
  }
  bool HasCount(const std::wstring& name) const { return SharedCountExists(CachePath(name)); }
  static bool HasUnit(size_t row) { return KeyExists(kUnits + std::wstring(Row(row).clsid)); }

  void Clean() {
    CCatalog catalog;
    ASSERT_TRUE(catalog.Scan((program_.Path() / L"installer.exe").wstring()));
    const CStoreCleanup cleanup(catalog, list_, windows_.Path().wstring());
    cleanup.CleanSharedDllCounts();
    cleanup.CleanDistributionUnits();
    cleanup.CleanModuleUsage();
  }

  TempFolder windows_{L"kovira windows"};
  TempFolder program_{L"kovira program"};
  CComponentStore store_;
  CDeletionList list_;
  std::set<std::wstring> files_;
  std::set<std::wstring> units_;
};

TEST(DeletionList, LooksUpWithoutRegardToCaseAndKeepsDuplicates) {
  CDeletionList list;
  EXPECT_FALSE(list.IsInDeletionList(L"a.dll"));
  list.Add(L"TeeChart5.ocx");
  list.Add(L"Vormik.dll");
  list.Add(L"TeeChart5.ocx");
  EXPECT_EQ(3u, list.Count());
  EXPECT_TRUE(list.IsInDeletionList(L"teechart5.OCX"));
  EXPECT_TRUE(list.IsInDeletionList(L"VORMIK.DLL"));
  EXPECT_FALSE(list.IsInDeletionList(L"Vormik.dl"));
  EXPECT_FALSE(list.IsInDeletionList(L"Vormik.dll "));
  list.Clear();
  EXPECT_FALSE(list.IsInDeletionList(L"Vormik.dll"));
}

TEST_F(StoreCleanupTest, RemovedComponentLosesAllThreeRecordsAndOthersKeepTheirs) {
  const size_t removed = IndexOf(L"Velmar.cab");
  const size_t kept = IndexOf(L"Arvenco.cab");
  RecordComponent(removed);
  RecordComponent(kept);
  ASSERT_TRUE(HasUnit(removed) && HasUsage(Row(removed).moduleName) &&
              HasCount(Row(removed).moduleName));
  ASSERT_TRUE(HasUnit(kept) && HasUsage(Row(kept).moduleName) && HasCount(Row(kept).moduleName));

  list_.Add(L"VELMAR.DLL");  // any letter case selects the row
  list_.Add(Row(removed).infName);
  Clean();

  EXPECT_FALSE(HasUnit(removed));
  EXPECT_FALSE(HasUsage(Row(removed).moduleName));
  EXPECT_FALSE(HasUsage(Row(removed).infName));
  EXPECT_FALSE(HasCount(Row(removed).moduleName));
  EXPECT_TRUE(HasUnit(kept));
  EXPECT_TRUE(HasUsage(Row(kept).moduleName));
  EXPECT_TRUE(HasUsage(Row(kept).infName));
  EXPECT_TRUE(HasCount(Row(kept).moduleName));
}

TEST_F(StoreCleanupTest, CompanionCountsGoWithLurrinAndVormikButExtraNamesSelectNothing) {
  const size_t lurrin = IndexOf(L"Lurrin.cab");
  const size_t vormik = IndexOf(L"Vormik.cab");
  RecordComponent(lurrin);
  RecordFile(Row(lurrin).clsid, L"Lurrinx.ocx");
  RecordFile(Row(lurrin).clsid, L"Lurrin.ocx");
  RecordComponent(vormik);
  RecordFile(Row(vormik).clsid, L"TeeChart5.ocx");
  RecordFile(Row(vormik).clsid, L"TeeChart5070N.ocx");

  for (const wchar_t* name :
       {L"Lurrin.dll", L"Lurrin.inf", L"Lurrin.ocx", L"Lurrinx.ocx", L"Vormik.dll", L"Vormik.inf",
        L"TeeChart5.ocx", L"TeeChart5070N.ocx"}) {
    list_.Add(name);
  }
  Clean();

  EXPECT_FALSE(HasCount(L"Lurrin.dll"));
  EXPECT_FALSE(HasCount(L"Lurrinx.ocx"));
  EXPECT_FALSE(HasCount(L"Vormik.dll"));
  EXPECT_FALSE(HasCount(L"TeeChart5.ocx"));
  // Listed, but no row has them as its module: their records stay.
  EXPECT_TRUE(HasCount(L"Lurrin.ocx"));
  EXPECT_TRUE(HasCount(L"TeeChart5070N.ocx"));
  EXPECT_TRUE(HasUsage(L"Lurrinx.ocx"));
  EXPECT_TRUE(HasUsage(L"TeeChart5.ocx"));
}

TEST_F(StoreCleanupTest, ModuleUsageKeyMixesSeparatorsAndGoesWithItsSubkeys) {
  const size_t row = IndexOf(L"Vormik.cab");
  RecordComponent(row);
  std::wstring slashes = windows_.Path().wstring();
  std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
  const std::wstring key = kUsage + slashes + L"/Downloaded Program files/Vormik.dll";
  ASSERT_NE(std::wstring::npos, key.find(L"\\ModuleUsage\\"));
  ASSERT_EQ(std::wstring::npos, key.substr(key.find(L"ModuleUsage\\") + 12).find(L'\\'));
  ASSERT_TRUE(KeyExists(key));
  RegKey extra;
  ASSERT_EQ(ERROR_SUCCESS, extra.Create(HKEY_LOCAL_MACHINE, key + L"\\Extra\\Deeper"));
  extra.Close();

  list_.Add(L"vormik.dll");
  Clean();
  EXPECT_FALSE(KeyExists(key));
}

TEST_F(StoreCleanupTest, DistributionUnitWithAddedSubkeysGoesWhole) {
  const size_t row = IndexOf(L"Velmar.cab");
  RecordComponent(row);
  const std::wstring unit = kUnits + std::wstring(Row(row).clsid);
  RegKey added;
  ASSERT_EQ(ERROR_SUCCESS, added.Create(HKEY_LOCAL_MACHINE, unit + L"\\Added\\More"));
  ASSERT_EQ(ERROR_SUCCESS, added.WriteString(L"Note", L"x"));
  added.Close();
  ASSERT_TRUE(KeyExists(unit + L"\\Contains\\Files"));

  list_.Add(L"Velmar.dll");
  Clean();
  EXPECT_FALSE(KeyExists(unit));
}

// The other files a removed component's unit lists are let go of: its module-usage entry goes and
// its count is lowered; a file nobody else holds loses its records and is handed back for
// deletion, unless it predates the records or lies outside our folders. Rows sharing a class id
// let go once.
TEST_F(StoreCleanupTest, ListedFilesAreLetGoOfAndHandedBackWhenNobodyElseHoldsThem) {
  const size_t brenvo = IndexOf(L"Brenvo.cab");
  const size_t tarsil = IndexOf(L"Tarsil.cab");
  const wchar_t* const other = Row(IndexOf(L"Dastel.CAB")).clsid;
  const std::wstring outside = (program_.Path() / L"Far.dll").wstring();
  const struct {
    std::wstring path;
    size_t row;
    bool otherHolds, predates;
    std::optional<DWORD> countAfter;
    std::vector<std::wstring> usersAfter;
    bool handedBack;
  } files[] = {
      {CachePath(L"BrenvoRes.dll"), brenvo, false, false, std::nullopt, {L"(no key)"}, true},
      {CachePath(L"CONFLICT.1\\Brenvo2.ocx"),
       brenvo,
       false,
       false,
       std::nullopt,
       {L"(no key)"},
       true},
      {CachePath(L"Shared.dll"), brenvo, true, false, 1, {L".Owner", other}, false},
      {CachePath(L"Old.dll"), brenvo, false, true, std::nullopt, {L"(no key)"}, false},
      {outside, brenvo, false, false, std::nullopt, {L"(no key)"}, false},
      {CachePath(L"TarsilRes.dll"), tarsil, false, false, std::nullopt, {L"(no key)"}, true},
  };
  for (const size_t row : {brenvo, tarsil}) {
    std::vector<std::wstring> listed;
    for (const auto& f : files) {
      if (f.row != row) continue;
      listed.push_back(f.path);
      if (f.otherHolds) RecordPath(other, f.path);
      RecordPath(Row(row).clsid, f.path, f.predates);
    }
    RecordComponent(row, listed);
  }
  for (const wchar_t* module : {L"Brenvo.dll", L"Tarsil.dll"}) list_.Add(module);

  CCatalog catalog;
  ASSERT_TRUE(catalog.Scan((program_.Path() / L"installer.exe").wstring()));
  const CStoreCleanup cleanup(catalog, list_, windows_.Path().wstring());
  const CStoreCleanup::ListedFiles handedBack =
      cleanup.ReleaseListedFiles((windows_.Path() / L"system32").wstring());

  CStoreCleanup::ListedFiles expected;
  for (const auto& f : files) {
    SCOPED_TRACE(fs::path(f.path).string());
    EXPECT_EQ(f.countAfter, Count(f.path));
    EXPECT_EQ(f.usersAfter, Users(f.path));
    if (f.handedBack) expected[Row(f.row).clsid].push_back(f.path);
  }
  // Keyed by the class id in upper case (these are); Tarsil's two rows share one.
  EXPECT_EQ(expected, handedBack);
  // The modules keep their records for the clean-up's own rules.
  EXPECT_TRUE(HasCount(L"Brenvo.dll"));
  EXPECT_TRUE(HasUsage(L"Tarsil.dll"));
}

}  // namespace
