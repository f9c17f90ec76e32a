#pragma once

#include <windows.h>

#include <string>

// The file: URL of a folder, ending in '/' so that relative names resolve inside it. A relative
// folder is taken from the current one. *url is untouched on failure.
[[nodiscard]] HRESULT FolderUrl(const std::wstring& folder, std::wstring* url);
