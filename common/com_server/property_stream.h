#pragma once

#include <windows.h>

#include <oaidl.h>
#include <objidl.h>

// The records a control's saved stream is made of. All integers little-endian, no padding.
//
// A variant record is a 2-byte VARTYPE followed by the value:
//   VT_I1, VT_UI1: 1 byte; VT_I2, VT_UI2, VT_BOOL: 2 bytes; VT_I4, VT_UI4, VT_R4, VT_ERROR,
//   VT_INT, VT_UINT: 4 bytes; VT_R8, VT_CY, VT_DATE: 8 bytes;
//   VT_BSTR: a 4-byte byte count, then that many bytes of UTF-16 text including the terminating
//     zero character; a null BSTR is count 0 and no text (it loads back as a null BSTR);
//   VT_UNKNOWN, VT_DISPATCH: the object's class id and its IPersistStream data, as OleSaveToStream
//     writes them (a null class id when the object is null). Written, never read back: a stream
//     may come from anyone (a page hands its bytes to a control that is safe for untrusted data),
//     and loading such a record would create whatever class it names;
//   anything else: converted to text and written with VARTYPE VT_BSTR.

// Writes one record. A stream error is returned as the stream reported it; a value that cannot
// be converted to text gives the conversion's error, an object without IPersistStream
// E_NOINTERFACE, a text whose count would pass kMaxTextBytes E_INVALIDARG (it could not be
// loaded). Nothing is written for a failure found before the first byte.
HRESULT WriteVariantRecord(IStream* stream, const VARIANT& value);

// Reads one record into value, which must be empty (VT_EMPTY) and is left VT_EMPTY on failure.
// A stream that ends inside the record (a short read, or S_FALSE) gives E_FAIL; a VARTYPE the
// writer never produces gives E_FAIL; a BSTR count that is odd, or larger than kMaxTextBytes,
// gives E_FAIL without reading the text. An object record (VT_UNKNOWN, VT_DISPATCH, null or not)
// gives kObjectRecordRefused right after its VARTYPE: its class id and data are left unread and
// nothing is created.
HRESULT ReadVariantRecord(IStream* stream, VARIANT& value);

// What reading an object record gives.
inline constexpr HRESULT kObjectRecordRefused = HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);

// A 4-byte little-endian word; a short read gives E_FAIL and leaves word untouched.
HRESULT WriteStreamWord(IStream* stream, DWORD word);
HRESULT ReadStreamWord(IStream* stream, DWORD& word);

// Texts beyond this are refused on load: a damaged count must not make us allocate gigabytes.
inline constexpr DWORD kMaxTextBytes = 16u * 1024u * 1024u;
