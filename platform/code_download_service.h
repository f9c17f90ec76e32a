#pragma once

#include "platform/code_download.h"
#include "platform/component_store.h"

// Our code-download service: installs a component from its CAB into the browser's component
// store and hands out its class object.
class CCodeDownloadService final : public ICodeDownloadService {
 public:
  CCodeDownloadService() = default;
  explicit CCodeDownloadService(CComponentStore store) : store_(std::move(store)) {}

  HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase, DWORD versionMS, DWORD versionLS,
                                LPCWSTR contentType, IBindCtx* context, DWORD classContext,
                                REFIID riid, void** object) override;

 private:
  CComponentStore store_;
};
