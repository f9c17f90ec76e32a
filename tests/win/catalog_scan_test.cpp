#include <gtest/gtest.h>

#include "installer/catalog.h"
#include "tests/win/temp_folder.h"

namespace {

// The program file itself need not exist: the scan only uses its folder.
std::wstring ProgramIn(const TempFolder& folder) { return folder / L"installer.exe"; }

TEST(CatalogScan, EmptyFolderFillsEveryRowAsAbsent) {
  TempFolder folder(L"kovira scan");  // a path with spaces, composed as plain text
  std::filesystem::create_directory(folder.Path() / L"cabfiles");
  CCatalog catalog;
  ASSERT_TRUE(catalog.Scan(ProgramIn(folder)));
  EXPECT_EQ(0u, catalog.FoundCount());
  const std::wstring cabs = folder / L"cabfiles";
  for (size_t i = 0; i < catalog.Size(); ++i) {
    const CatalogEntry& row = catalog.Row(i);
    EXPECT_FALSE(row.cabPresent) << i;
    EXPECT_EQ(kCatalogRows[i].clsid, row.clsid);
    EXPECT_EQ(kCatalogRows[i].cabName, row.cabName);
    EXPECT_EQ(kCatalogRows[i].moduleName, row.moduleName);
    EXPECT_EQ(kCatalogRows[i].infName, row.infName);
    EXPECT_EQ(kCatalogRows[i].displayName, row.displayName);
    EXPECT_EQ(cabs + L"\\" + kCatalogRows[i].cabName, row.cabPath);
    EXPECT_EQ(L"-1,-1,-1,-1", row.versionText);
  }
  EXPECT_EQ(cabs + L"\\olch2xu8.ocx", catalog.CompanionControlPath());
  EXPECT_EQ(cabs + L"\\c1regsvw.exe", catalog.CompanionProgramPath());
}

TEST(CatalogScan, MissingFolderFillsNothing) {
  TempFolder folder;
  CCatalog catalog;
  EXPECT_FALSE(catalog.Scan(ProgramIn(folder)));
  EXPECT_TRUE(catalog.Row(0).clsid.empty());
  EXPECT_TRUE(catalog.Row(0).cabPath.empty());
  EXPECT_TRUE(catalog.CompanionControlPath().empty());
}

TEST(CatalogScan, FileNamedCabfilesCountsAsTheFolder) {
  TempFolder folder;
  folder.Touch(L"cabfiles");
  CCatalog catalog;
  EXPECT_TRUE(catalog.Scan(ProgramIn(folder)));
  EXPECT_EQ(0u, catalog.FoundCount());
  EXPECT_FALSE(catalog.Row(0).clsid.empty());
}

TEST(CatalogScan, FindsRowsByTheirOwnNameOnly) {
  TempFolder folder;
  folder.Touch(L"cabfiles\\VELMAR.CAB");  // other letter case: found
  folder.Touch(L"cabfiles\\Pelgor.cab");
  folder.Touch(L"cabfiles\\sub\\Brenvo.cab");  // in a subfolder: not found
  folder.Touch(L"cabfiles\\Unknown.cab");      // no row names it: ignored
  folder.Touch(L"cabfiles\\Tarsil.cab.bak");   // not the exact name
  CCatalog catalog;
  ASSERT_TRUE(catalog.Scan(ProgramIn(folder)));
  EXPECT_EQ(2u, catalog.FoundCount());
  EXPECT_TRUE(catalog.Row(kVelmarRow).cabPresent);
  EXPECT_TRUE(catalog.Row(kPelgorRow).cabPresent);
  EXPECT_FALSE(catalog.Row(kConnectionLimitRow).cabPresent);
  // The path keeps the catalog's spelling, not the file's.
  EXPECT_EQ(folder / L"cabfiles\\Velmar.cab", catalog.Row(kVelmarRow).cabPath);
}

TEST(CatalogScan, CabFolderIsBesideTheProgram) {
  EXPECT_EQ(L"C:\\Program Files\\Kovira\\cabfiles",
            CCatalog::CabFolderFor(L"C:\\Program Files\\Kovira\\installer.exe"));
  EXPECT_EQ(L"\\\\server\\share\\cabfiles",
            CCatalog::CabFolderFor(L"\\\\server\\share\\installer.exe"));
}

}  // namespace
