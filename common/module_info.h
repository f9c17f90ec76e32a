#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

// The module (program or DLL) this code is linked into.
inline HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

// A string from the module's string table; empty when there is none.
std::wstring LoadResourceString(HINSTANCE module, UINT id);

// The full path of a loaded module (nullptr: the program).
std::wstring ModuleFilePath(HMODULE module);

// The module's file name without folder and extension, as message boxes carry it.
std::wstring ModuleBaseName(HMODULE module);

// The fixed file version a.b.c.d of a file, from its version resource.
std::optional<std::array<unsigned, 4>> FileVersionOf(const std::wstring& path);

// The same, read from the PE file's own resource section (any size, untrusted: reads are bounded
// by the file). Unlike FileVersionOf it never asks the loader, which may answer for a loaded module
// of the same name instead of the file at that path (Wine does so for a copy of version.dll).
std::optional<std::array<unsigned, 4>> FileVersionInImage(const std::wstring& path);

// A string of the file's version resource (first translation), e.g. "FileDescription".
std::optional<std::wstring> FileVersionString(const std::wstring& path, const std::wstring& name);
