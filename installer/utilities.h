#pragma once

#include <windows.h>

#include <oleauto.h>

#include <cstddef>
#include <string>

#include "common/scoped_bstr.h"
#include "common/scoped_owner.h"

// The default (unnamed) text of root\path, whole. A missing or non-text value gives an empty
// text and still succeeds; only a key that cannot be opened fails, with its error code.
LONG GetRegistryText(HKEY root, const std::wstring& path, std::wstring& text);

// Exact, case-sensitive comparison with strcmp's sign convention; an absent text is empty.
int SameText(const wchar_t* a, const wchar_t* b);

// Conversions on the ANSI code page into a caller's buffer of `capacity` characters. The buffer
// holds an empty string unless the whole text and its terminator fit; an absent text is empty.
bool AnsiToWideBuffer(const char* text, wchar_t* buffer, size_t capacity);
bool WideToAnsiBuffer(const wchar_t* text, char* buffer, size_t capacity);

// An automation string of ANSI text; none when it cannot be allocated.
ScopedBstr AnsiToBstr(const char* text);

// Appends `length` characters of `text` (embedded nulls included). E_OUTOFMEMORY leaves the
// target as it was.
HRESULT AppendToBstr(ScopedBstr& target, const wchar_t* text, UINT length);
