#pragma once

#include <string>

// The system's folders, without a trailing separator; empty when the system cannot say.
std::wstring WindowsFolder();
std::wstring SystemFolder();
// The temporary-files folder, with its trailing separator as the system gives it.
std::wstring TempFolder();

// The browser's component store below a Windows folder: "<windows>\Downloaded Program Files".
std::wstring StoreFolderIn(const std::wstring& windows_folder);
