#pragma once

#include <windows.h>

#include <string>

// An HRESULT for a message: "0x80040154 (Class not registered)", or the code alone when the
// system has no text for it.
std::wstring DescribeResult(HRESULT result);
