#include "velmar/core/download_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(DownloadFileName, IsTheLastPathSegmentAndRefusesNamesThatLeaveTheFolder) {
  const struct {
    const wchar_t* url;
    std::optional<std::wstring> name;
  } cases[] = {
      {L"http://host/dir/setup.exe", L"setup.exe"},
      {L"setup.exe", L"setup.exe"},
      {L"dir\\sub\\setup.exe", L"setup.exe"},
      {L"http://host/a\\b/c.bin", L"c.bin"},  // "/" first: the backslash stays in the name
      {L"http://host/get/file.zip?x=/y/z.exe#part/2", L"file.zip"},
      {L"http://host/file.zip#top", L"file.zip"},
      {L"http://host/my%20file.txt", L"my%20file.txt"},
      {L"http://host/\uD30C\uC77C.txt", L"\uD30C\uC77C.txt"},
      {L"http://host/dir/", std::nullopt},
      {L"http://host/dir/..", std::nullopt},
      {L"http://host/dir/%2e%2E", std::nullopt},
      {L"http://host/x%5C..%5Cwin.ini", std::nullopt},
      {L"http://host/x%2fy", std::nullopt},
      {L"C:evil.exe", std::nullopt},
      {L"http://host/con.txt", std::nullopt},
      {L"http://host/LPT1", std::nullopt},
      {L"http://host/a%3Ab", std::nullopt},
      {L"http://host/bad%00name", std::nullopt},
      {L"http://host/trailing.", std::nullopt},
      {L"http://host/\xD800x", std::nullopt},  // a lone surrogate on UTF-16 systems
      {L"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DownloadFileName(c.url), c.name) << testing::PrintToString(std::wstring(c.url));
  }
}

TEST(DownloadLocalPath, JoinsWithOneBackslashPerPair) {
  EXPECT_EQ(DownloadLocalPath(L"C:\\Down", L"a.exe"), L"C:\\Down\\a.exe");
  EXPECT_EQ(DownloadLocalPath(L"C:\\Down\\", L"a.exe"), L"C:\\Down\\a.exe");
  EXPECT_EQ(DownloadLocalPath(L"C:\\\\Down\\\\", L"a.exe"), L"C:\\Down\\\\a.exe")
      << "three backslashes in a row keep two";
  EXPECT_EQ(DownloadLocalPath(L"", L"a.exe"), L"\\a.exe");
}

TEST(ExpandFolderToken, ReplacesTheFirstTokenFoundInTheirOrder) {
  const FolderTokens tokens{L"C:\\Temp\\", L"C:\\Program Files", L"C:\\Windows"};
  const FolderTokens noProgramFiles{L"C:\\Temp\\", std::nullopt, L"C:\\Windows"};
  const struct {
    const wchar_t* path;
    const FolderTokens& tokens;
    const wchar_t* expanded;
  } cases[] = {
      {L"%WINDOWS%\\Downloaded\\setup.exe", tokens, L"C:\\Windows\\Downloaded\\setup.exe"},
      {L"%SYSTEM%\\a.exe", tokens, L"C:\\Temp\\\\a.exe"},  // the doubled backslash stays
      {L"%SYSTEM%x%SYSTEM%", tokens, L"C:\\Temp\\xC:\\Temp\\"},
      {L"%WINDOWS%\\%SYSTEM%\\a", tokens, L"%WINDOWS%\\C:\\Temp\\\\a"},
      {L"%PROGRAM_FILES%\\App\\a", tokens, L"C:\\Program Files\\App\\a"},
      {L"%PROGRAM_FILES%\\App\\a", noProgramFiles, L"%PROGRAM_FILES%\\App\\a"},
      {L"%PROGRAM_FILES%\\%WINDOWS%", noProgramFiles, L"%PROGRAM_FILES%\\%WINDOWS%"},
      {L"%windows%\\a", tokens, L"%windows%\\a"},
      {L"D:\\plain\\a", tokens, L"D:\\plain\\a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExpandFolderToken(c.path, c.tokens), c.expanded)
        << testing::PrintToString(std::wstring(c.path));
  }
}

TEST(FoldersToCreate, ListsEachFolderOfADriveLetterPathOutermostFirst) {
  using Folders = std::vector<std::wstring>;
  EXPECT_EQ(FoldersToCreate(L"C:\\a\\b\\file.exe"), (Folders{L"C:\\a", L"C:\\a\\b"}));
  EXPECT_EQ(FoldersToCreate(L"C:\\Temp\\\\\"x\"\\file"), (Folders{L"C:\\Temp", L"C:\\Temp\\x"}));
  EXPECT_EQ(FoldersToCreate(L"C:\\file.exe"), Folders{});
  EXPECT_EQ(FoldersToCreate(L"\\\\server\\share\\file"), Folders{});
  EXPECT_EQ(FoldersToCreate(L"relative\\file"), Folders{});
  EXPECT_EQ(FoldersToCreate(L"file"), Folders{});
}

}  // namespace
