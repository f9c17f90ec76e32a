#pragma once

#include <windows.h>

#include <objidl.h>
#include <wrl/client.h>

#include <vector>

// The whole content of a stream, which is left at its start.
inline std::vector<BYTE> StreamBytes(IStream* stream) {
  STATSTG stat = {};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ULONG read = 0;
  if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return bytes;
}

// A memory stream holding bytes, at its start.
inline Microsoft::WRL::ComPtr<IStream> StreamOf(const std::vector<BYTE>& bytes) {
  Microsoft::WRL::ComPtr<IStream> stream;
  ::CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  ULONG written = 0;
  if (!bytes.empty()) stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  return stream;
}
