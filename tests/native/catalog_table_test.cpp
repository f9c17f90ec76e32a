#include "installer/core/catalog_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <cwctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring Lower(std::wstring s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
  return s;
}

bool EndsWithNoCase(const std::wstring& s, const std::wstring& suffix) {
  return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == Lower(suffix);
}

std::wstring Stem(const std::wstring& fileName) {
  const auto dot = fileName.rfind(L'.');
  return dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
}

bool IsRegistryGuid(const std::wstring& s) {
  if (s.size() != 38 || s.front() != L'{' || s.back() != L'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const wchar_t c = s[i];
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (c != L'-') return false;
    } else if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) {
      return false;
    }
  }
  return true;
}

const std::wstring kConnectionLimitClsid = L"{6076B69C-2816-453C-A302-67196FE22EDB}";

std::vector<std::size_t> RowsWithCab(const std::wstring& cab) {
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    if (kCatalogRows[i].cabName == cab) rows.push_back(i);
  }
  return rows;
}

std::size_t RowOfCab(const std::wstring& cab) {
  const auto rows = RowsWithCab(cab);
  EXPECT_EQ(rows.size(), 1u) << "cab " << std::string(cab.begin(), cab.end());
  return rows.empty() ? kCatalogRows.size() : rows.front();
}

}  // namespace

TEST(CatalogTable, RowsAreWellFormed) {
  ASSERT_EQ(kCatalogRows.size(), 107u);
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    const CatalogRow& row = kCatalogRows[i];
    SCOPED_TRACE(i);
    ASSERT_NE(row.clsid, nullptr);
    ASSERT_NE(row.cabName, nullptr);
    ASSERT_NE(row.moduleName, nullptr);
    ASSERT_NE(row.infName, nullptr);
    ASSERT_NE(row.displayName, nullptr);
    EXPECT_TRUE(IsRegistryGuid(row.clsid));
    EXPECT_TRUE(EndsWithNoCase(row.infName, L".inf"));
    EXPECT_FALSE(std::wstring(row.displayName).empty());

    // The names end up in INF sections, command lines and file searches.
    for (const wchar_t* field :
         {row.clsid, row.cabName, row.moduleName, row.infName, row.displayName}) {
      EXPECT_EQ(std::wstring(field).find_first_of(L";:*?"), std::wstring::npos) << field;
    }
    for (const wchar_t* file : {row.cabName, row.moduleName, row.infName}) {
      EXPECT_EQ(std::wstring(file).find_first_of(L"\\/"), std::wstring::npos) << file;
    }
  }
}

TEST(CatalogTable, ModuleExtensionCounts) {
  std::size_t dll = 0;
  std::size_t ocx = 0;
  for (const CatalogRow& row : kCatalogRows) {
    const std::wstring module = row.moduleName;
    if (EndsWithNoCase(module, L".dll")) ++dll;
    if (EndsWithNoCase(module, L".ocx")) ++ocx;
    EXPECT_EQ(module.substr(module.size() - 4), Lower(module.substr(module.size() - 4)));
  }
  EXPECT_EQ(dll, 90u);
  EXPECT_EQ(ocx, 17u);
}

TEST(CatalogTable, SharedClsids) {
  std::map<std::wstring, std::vector<std::size_t>> rowsByClsid;
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    rowsByClsid[kCatalogRows[i].clsid].push_back(i);
  }
  EXPECT_EQ(rowsByClsid.size(), 104u);

  std::size_t shared = 0;
  for (const auto& [clsid, rows] : rowsByClsid) {
    EXPECT_LE(rows.size(), 2u);
    if (rows.size() == 2) ++shared;
  }
  EXPECT_EQ(shared, 3u);

  const std::vector<std::size_t> limitRows = {kConnectionLimitRow, kConnectionLimitRow + 1};
  EXPECT_EQ(rowsByClsid[kConnectionLimitClsid], limitRows);
  for (const auto& [clsid, rows] : rowsByClsid) {
    for (std::size_t row : rows)
      EXPECT_EQ(MinConnectionsFor(clsid), kCatalogRows[row].minConnections);
  }
}

TEST(CatalogTable, StemDifferences) {
  std::size_t moduleDiffers = 0;
  std::size_t moduleCaseOnly = 0;
  std::size_t infDiffers = 0;
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    const CatalogRow& row = kCatalogRows[i];
    const std::wstring cab = Stem(row.cabName);
    const std::wstring module = Stem(row.moduleName);
    if (Lower(module) != Lower(cab)) {
      ++moduleDiffers;
    } else if (module != cab) {
      ++moduleCaseOnly;
    }
    if (Lower(Stem(row.infName)) != Lower(cab)) ++infDiffers;
  }
  EXPECT_EQ(moduleDiffers, 10u);
  EXPECT_EQ(moduleCaseOnly, 5u);
  EXPECT_EQ(infDiffers, 2u);
}

TEST(CatalogTable, CabNames) {
  std::set<std::wstring> seen;
  std::size_t exactLowerExtension = 0;
  std::size_t allCapsStem = 0;
  for (const CatalogRow& row : kCatalogRows) {
    const std::wstring cab = row.cabName;
    EXPECT_TRUE(seen.insert(Lower(cab)).second) << std::string(cab.begin(), cab.end());
    EXPECT_TRUE(EndsWithNoCase(cab, L".cab"));
    if (cab.size() >= 4 && cab.substr(cab.size() - 4) == L".cab") ++exactLowerExtension;
    const std::wstring stem = Stem(cab);
    if (std::none_of(stem.begin(), stem.end(), [](wchar_t c) { return std::iswlower(c); })) {
      ++allCapsStem;
    }
  }
  // Shipped CAB names come in mixed letter case; keep that variety so case handling stays covered.
  EXPECT_LT(exactLowerExtension, kCatalogRows.size());
  EXPECT_GT(exactLowerExtension, 0u);
  EXPECT_GT(allCapsStem, 0u);
}

TEST(CatalogTable, DisplayNames) {
  std::size_t sameAsCab = 0;
  for (const CatalogRow& row : kCatalogRows) {
    const std::wstring display = row.displayName;
    if (display == row.cabName) {
      ++sameAsCab;
      continue;
    }
    // Everything else reads as a product name, not a file name.
    for (const wchar_t* ext : {L".cab", L".dll", L".ocx", L".inf"}) {
      EXPECT_FALSE(EndsWithNoCase(display, ext)) << std::string(display.begin(), display.end());
    }
  }
  EXPECT_EQ(sameAsCab, 8u);
}

TEST(CatalogTable, FixedRows) {
  const CatalogRow& velmar = kCatalogRows[kVelmarRow];
  EXPECT_EQ(kVelmarRow, 24u);
  EXPECT_EQ(std::wstring(velmar.clsid), L"{92928D91-53D8-4861-835C-619E5082D3D7}");
  EXPECT_EQ(std::wstring(velmar.cabName), L"Velmar.cab");
  EXPECT_EQ(std::wstring(velmar.moduleName), L"Velmar.dll");
  EXPECT_EQ(std::wstring(velmar.infName), L"Velmar.inf");
  EXPECT_EQ(std::wstring(velmar.displayName), L"Kovira3");

  const CatalogRow& pelgor = kCatalogRows[kPelgorRow];
  EXPECT_EQ(kPelgorRow, 82u);
  EXPECT_EQ(std::wstring(pelgor.cabName), L"Pelgor.cab");
  EXPECT_EQ(std::wstring(pelgor.moduleName), L"Pelgor.ocx");
  EXPECT_EQ(std::wstring(pelgor.infName), L"Pelgor.inf");

  // Two CABs of one control: same CLSID and module, different CAB names.
  EXPECT_EQ(kConnectionLimitRow, 97u);
  const CatalogRow& first = kCatalogRows[kConnectionLimitRow];
  const CatalogRow& second = kCatalogRows[kConnectionLimitRow + 1];
  EXPECT_EQ(std::wstring(first.clsid), kConnectionLimitClsid);
  EXPECT_EQ(std::wstring(second.clsid), kConnectionLimitClsid);
  EXPECT_EQ(std::wstring(first.moduleName), second.moduleName);
  EXPECT_NE(Lower(first.cabName), Lower(second.cabName));
  EXPECT_EQ(10u, MinConnectionsFor(kConnectionLimitClsid));
  // The class id is matched as text, exactly.
  EXPECT_EQ(0u, MinConnectionsFor(Lower(kConnectionLimitClsid)));
  EXPECT_EQ(0u, MinConnectionsFor(L""));

  const std::size_t mdi = RowOfCab(L"MDI.cab");
  ASSERT_LT(mdi, kCatalogRows.size());
  EXPECT_EQ(std::wstring(kCatalogRows[mdi].clsid), L"{6AF88017-4E4E-4D9E-B429-84D8AFD3A7BE}");
  EXPECT_EQ(std::wstring(kCatalogRows[mdi].moduleName), L"MDI.dll");
  EXPECT_EQ(std::wstring(kCatalogRows[mdi].infName), L"MDI.inf");
}

TEST(CatalogTable, RemovalRuleCabs) {
  const std::set<std::size_t> reserved = {kVelmarRow, kPelgorRow, kConnectionLimitRow,
                                          kConnectionLimitRow + 1};
  for (const wchar_t* cab : {L"Lurrin.cab", L"Vormik.cab", L"Quenta.cab", L"VormikU.cab",
                             L"Dremsa.cab", L"Stavin.cab", L"Mirodel.cab", L"MDI.cab"}) {
    const std::size_t row = RowOfCab(cab);
    ASSERT_LT(row, kCatalogRows.size());
    EXPECT_EQ(reserved.count(row), 0u) << row;
  }
  EXPECT_EQ(std::wstring(kCatalogRows[RowOfCab(L"Lurrin.cab")].moduleName), L"Lurrin.dll");
  EXPECT_EQ(std::wstring(kCatalogRows[RowOfCab(L"Vormik.cab")].moduleName), L"Vormik.dll");
}

// What removing or installing a component does beyond its module and INF is data of its row;
// every row not listed here has none of it.
TEST(CatalogTable, ComponentRulesAreRowsOfTheTable) {
  struct Rules {
    const wchar_t* cab;
    std::vector<std::wstring> alsoListed, storeFiles, alsoCounted, systemFiles, systemServers;
    std::wstring sharedChart;
    std::vector<std::wstring> companions;
    unsigned minConnections = 0;
  };
  const std::vector<std::wstring> none;
  const Rules expected[] = {
      {L"Lurrin.cab",
       {L"Lurrin.ocx", L"Lurrinx.ocx"},
       {L"Lurrin.ocx", L"Lurrinx.ocx"},
       {L"Lurrinx.ocx"},
       none,
       none,
       L"",
       none},
      {L"Vormik.cab",
       {L"TeeChart5.ocx", L"TeeChart5070N.ocx"},
       {L"TeeChart5070N.ocx"},
       {L"TeeChart5.ocx"},
       none,
       none,
       L"TeeChart5070.ocx",
       none},
      {L"Quenta.cab",
       {L"TeeChart5.ocx", L"TeeChart5070M.ocx"},
       {L"TeeChart5070M.ocx"},
       none,
       none,
       none,
       L"TeeChart5070.ocx",
       none},
      {L"VormikU.cab",
       {L"TeeChart5.ocx", L"TeeChart5070U.ocx"},
       {L"TeeChart5070U.ocx"},
       none,
       none,
       none,
       L"TeeChart5070.ocx",
       none},
      {L"Velmar.cab", none, {L"KV3Installer.exe"}, none, none, none, L"", none},
      {L"Pelgor.cab", none, none, none, none, none, L"", {L"olch2xu8.ocx", L"c1regsvw.exe"}},
      {L"Dremsa.cab", none, none, none, none, {L"Dremsa_org.ocx"}, L"", none},
      {L"Stavin.cab",
       none,
       none,
       none,
       {L"tormuil.dll", L"brask.dll", L"Yolvent.dll"},
       none,
       L"",
       none},
      {L"Mirodel.cab", none, none, none, none, {L"Fendro.ocx"}, L"", none},
      {L"Tarsil.cab", none, none, none, none, none, L"", none, 10},
      {L"TarsilRel.cab", none, none, none, none, none, L"", none, 10},
  };
  for (std::size_t i = 0; i < kCatalogRows.size(); ++i) {
    const CatalogRow& row = kCatalogRows[i];
    SCOPED_TRACE(std::string(row.cabName, row.cabName + std::wcslen(row.cabName)));
    Rules rules{row.cabName, {}, {}, {}, {}, {}, L"", {}};
    for (const Rules& r : expected) {
      if (std::wstring(r.cab) == row.cabName) rules = r;
    }
    EXPECT_EQ(rules.alsoListed, NamesIn(row.alsoListed));
    EXPECT_EQ(rules.storeFiles, NamesIn(row.storeFiles));
    EXPECT_EQ(rules.alsoCounted, NamesIn(row.alsoCounted));
    EXPECT_EQ(rules.systemFiles, NamesIn(row.systemFiles));
    EXPECT_EQ(rules.systemServers, NamesIn(row.systemServers));
    EXPECT_EQ(rules.sharedChart, row.sharedChart);
    EXPECT_EQ(rules.companions, NamesIn(row.companions));
    EXPECT_EQ(rules.minConnections, row.minConnections);
  }
  EXPECT_EQ(kPelgorRow, ChartControlRow());
  EXPECT_EQ(L"olch2xu8.ocx", ChartControlName());
}

TEST(CatalogTable, NamesFieldsSplitAtBlanks) {
  const struct {
    const wchar_t* field;
    std::vector<std::wstring> names;
  } cases[] = {
      {L"", {}},
      {L"a.dll", {L"a.dll"}},
      {L"a.dll b.ocx c.exe", {L"a.dll", L"b.ocx", L"c.exe"}},
      {L" a.dll  b.ocx ", {L"a.dll", L"b.ocx"}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.names, NamesIn(c.field)) << c.field;
}
