#pragma once

#include <ole2.h>

// OLE for the lifetime of the object, on a single-threaded apartment.
class OleInitializer {
 public:
  OleInitializer() : result_(::OleInitialize(nullptr)) {}
  ~OleInitializer() {
    if (SUCCEEDED(result_)) ::OleUninitialize();
  }
  OleInitializer(const OleInitializer&) = delete;
  OleInitializer& operator=(const OleInitializer&) = delete;

  bool Succeeded() const { return SUCCEEDED(result_); }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};
