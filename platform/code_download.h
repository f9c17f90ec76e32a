#pragma once

#include <windows.h>

#include <urlmon.h>

// The code-download service: obtains a component's class object, installing its code from a
// code base (a CAB) when needed.
//
// Calling contract, which every implementation keeps:
// - GetClassObjectFromURL answers S_OK with the object at once when the class is available at
//   the requested version; MK_S_ASYNCHRONOUS when notifications follow; any other result is a
//   failure after which no notification comes. The version pair 0xFFFFFFFF,0xFFFFFFFF asks for
//   the code base's code every time.
// - Notifications go to the IBindStatusCallback registered on the bind context (with
//   RegisterBindStatusCallback), on the calling thread, through its message loop: GetBindInfo
//   before any data, OnStartBinding first (handing over the IBinding), then OnProgress
//   notifications, OnObjectAvailable(IID_IClassFactory, factory) when the class object was
//   obtained, and OnStopBinding last with the binding's result.
// - IBinding::Abort ends the binding: OnStopBinding follows with E_ABORT.
// - The callback may be asked for IWindowForBindingUI to find an owner window.
class ICodeDownloadService {
 public:
  virtual ~ICodeDownloadService() = default;
  virtual HRESULT GetClassObjectFromURL(REFCLSID clsid, LPCWSTR codeBase, DWORD versionMS,
                                        DWORD versionLS, LPCWSTR contentType, IBindCtx* context,
                                        DWORD classContext, REFIID riid, void** object) = 0;
};

// The service used when nobody substitutes another.
ICodeDownloadService& DefaultCodeDownloadService();

// The status callback registered on a bind context, or null when there is none.
HRESULT GetRegisteredBindStatusCallback(IBindCtx* context, IBindStatusCallback** callback);
