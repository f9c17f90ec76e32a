#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where DownloadFile puts a file: its name from the URL, the page's folder with its tokens, and
// the folders to make before the file.

// The file a URL names: the last segment of its path ("/" separates, or "\" when there is no
// "/"; the whole text when there is neither), without query or fragment. Nothing when that
// segment, as written or with its %XX escapes decoded, is no plain file name (empty, "..",
// separators, a drive, a device name, ...): such a name could leave the chosen folder.
std::optional<std::wstring> DownloadFileName(std::wstring_view url);

// folder + "\" + name, then every "\\" pair made one "\" (left to right, in one pass).
std::wstring DownloadLocalPath(std::wstring_view folder, std::wstring_view fileName);

// What the folder tokens stand for. programFiles is nothing when the system cannot say; the
// token then stays in the path.
struct FolderTokens {
  std::wstring temp;  // "%SYSTEM%": the temporary-files folder, as the system gives it
  std::optional<std::wstring> programFiles;  // "%PROGRAM_FILES%"
  std::wstring windows;                      // "%WINDOWS%"
};

// Every occurrence of the first token that path holds, tried in the order %SYSTEM%,
// %PROGRAM_FILES%, %WINDOWS%, replaced by its folder; other tokens stay as written.
std::wstring ExpandFolderToken(std::wstring path, const FolderTokens& tokens);

// The folders to create before the file at localPath, outermost first: each prefix of its folder
// part (double quotes dropped, "\\" pairs made one) that ends before a "\" from the fourth
// character on. Only a drive-letter path ("X:\...") has any; for others the file's folder must
// exist already.
std::vector<std::wstring> FoldersToCreate(std::wstring_view localPath);
