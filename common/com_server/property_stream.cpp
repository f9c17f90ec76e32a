#include "common/com_server/property_stream.h"

#include <ole2.h>
#include <wrl/client.h>

#include <cstring>
#include <memory>
#include <new>

#include "common/com_server/variant.h"

using Microsoft::WRL::ComPtr;

namespace {

// Bytes of the values stored as they lie in memory; 0 for the rest. Each of them sits at the
// start of the VARIANT's union, so one copy serves them all.
ULONG FixedSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_ERROR:
    case VT_INT:
    case VT_UINT:
      return 4;
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    default:
      return 0;
  }
}

BYTE* ValueBytes(VARIANT& value) { return reinterpret_cast<BYTE*>(&value.bVal); }
const BYTE* ValueBytes(const VARIANT& value) { return reinterpret_cast<const BYTE*>(&value.bVal); }

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
  ULONG written = 0;
  const HRESULT result = stream->Write(data, size, &written);
  if (FAILED(result)) return result;
  // A stream that takes less than it was given and calls it success has still lost data.
  return written == size ? S_OK : STG_E_WRITEFAULT;
}

// S_FALSE or fewer bytes than asked both mean the stream ended.
HRESULT ReadAll(IStream* stream, void* data, ULONG size) {
  ULONG read = 0;
  const HRESULT result = stream->Read(data, size, &read);
  if (FAILED(result)) return result;
  return result == S_OK && read == size ? S_OK : E_FAIL;
}

HRESULT WriteType(IStream* stream, VARTYPE type) { return WriteAll(stream, &type, sizeof type); }

HRESULT WriteText(IStream* stream, BSTR text) {
  // Counted in whole characters: a BSTR made from an odd number of bytes loses the last one,
  // which the reader would refuse anyway.
  const ULONG bytes = text == nullptr ? 0 : (::SysStringLen(text) + 1) * sizeof(wchar_t);
  // What the reader would refuse is refused here, so a save never makes a stream that cannot load.
  if (bytes > kMaxTextBytes) return E_INVALIDARG;
  HRESULT result = WriteType(stream, VT_BSTR);
  if (SUCCEEDED(result)) result = WriteAll(stream, &bytes, sizeof bytes);
  // The terminating zero is part of the BSTR's allocation.
  if (SUCCEEDED(result) && bytes != 0) result = WriteAll(stream, text, bytes);
  return result;
}

HRESULT WriteObject(IStream* stream, VARTYPE type, IUnknown* object) {
  if (object == nullptr) {
    // OleSaveToStream refuses a null object (Wine's even crashes); its record is a null class id.
    HRESULT result = WriteType(stream, type);
    if (SUCCEEDED(result)) result = WriteAll(stream, &CLSID_NULL, sizeof CLSID_NULL);
    return result;
  }
  ComPtr<IPersistStream> persist;
  HRESULT result = object->QueryInterface(IID_PPV_ARGS(&persist));
  if (FAILED(result)) return result;
  result = WriteType(stream, type);
  if (SUCCEEDED(result)) result = ::OleSaveToStream(persist.Get(), stream);
  return result;
}

HRESULT ReadText(IStream* stream, VARIANT& value) {
  DWORD bytes = 0;
  HRESULT result = ReadAll(stream, &bytes, sizeof bytes);
  if (FAILED(result)) return result;
  if (bytes == 0) {
    value.vt = VT_BSTR;
    value.bstrVal = nullptr;
    return S_OK;
  }
  if (bytes % sizeof(wchar_t) != 0 || bytes > kMaxTextBytes) return E_FAIL;

  UINT length = bytes / sizeof(wchar_t);
  const std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[length]);
  if (!text) return E_OUTOFMEMORY;
  result = ReadAll(stream, text.get(), bytes);
  if (FAILED(result)) return result;
  // The count normally covers a terminating zero; a writer that left it out still gets its text.
  if (text[length - 1] == L'\0') --length;
  BSTR copy = ::SysAllocStringLen(text.get(), length);
  if (copy == nullptr) return E_OUTOFMEMORY;
  value.vt = VT_BSTR;
  value.bstrVal = copy;
  return S_OK;
}

}  // namespace

HRESULT WriteVariantRecord(IStream* stream, const VARIANT& value) {
  const VARTYPE type = value.vt;
  if (const ULONG size = FixedSize(type); size != 0) {
    BYTE record[sizeof(VARTYPE) + 8];
    std::memcpy(record, &type, sizeof type);
    if (type == VT_BOOL) {
      const VARIANT_BOOL flag = value.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
      std::memcpy(record + sizeof type, &flag, sizeof flag);
    } else {
      std::memcpy(record + sizeof type, ValueBytes(value), size);
    }
    return WriteAll(stream, record, sizeof type + size);
  }
  switch (type) {
    case VT_BSTR:
      return WriteText(stream, value.bstrVal);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return WriteObject(stream, type, value.punkVal);
    default:
      break;
  }
  ScopedVariant text;
  const HRESULT result =
      ::VariantChangeType(text.Pointer(), const_cast<VARIANT*>(&value), 0, VT_BSTR);  // only read
  if (FAILED(result)) return result;
  return WriteText(stream, text.Get().bstrVal);
}

HRESULT ReadVariantRecord(IStream* stream, VARIANT& value) {
  VARTYPE type = VT_EMPTY;
  HRESULT result = ReadAll(stream, &type, sizeof type);
  if (FAILED(result)) return result;
  if (const ULONG size = FixedSize(type); size != 0) {
    BYTE bytes[8];
    result = ReadAll(stream, bytes, size);
    if (FAILED(result)) return result;
    std::memcpy(ValueBytes(value), bytes, size);
    if (type == VT_BOOL) value.boolVal = value.boolVal ? VARIANT_TRUE : VARIANT_FALSE;
    value.vt = type;
    return S_OK;
  }
  switch (type) {
    case VT_BSTR:
      return ReadText(stream, value);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return kObjectRecordRefused;
    default:
      return E_FAIL;
  }
}

HRESULT WriteStreamWord(IStream* stream, DWORD word) {
  return WriteAll(stream, &word, sizeof word);
}

HRESULT ReadStreamWord(IStream* stream, DWORD& word) {
  DWORD read = 0;
  const HRESULT result = ReadAll(stream, &read, sizeof read);
  if (SUCCEEDED(result)) word = read;
  return result;
}
