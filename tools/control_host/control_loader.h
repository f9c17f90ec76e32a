#pragma once

#include <windows.h>

#include <oaidl.h>
#include <wrl/client.h>

#include <string>

#include "common/scoped_owner.h"

// Makes the object an OBJECT tag names: by ProgID, by "{CLSID}" text, or straight from a DLL's
// class object without any registration (the class is the first coclass of the DLL's type
// library). A DLL it loads itself stays with it until Unload.
class CControlLoader {
 public:
  CControlLoader() = default;
  CControlLoader(const CControlLoader&) = delete;
  CControlLoader& operator=(const CControlLoader&) = delete;
  ~CControlLoader() { Unload(); }

  // text: "{...}" is a class id; a path (with a folder separator or a drive colon, or ending in
  // .dll or .ocx) a DLL; anything else a ProgID. On failure *clsid and *object are untouched and
  // Error() says why in words.
  [[nodiscard]] HRESULT Create(const std::wstring& text, CLSID* clsid, IUnknown** object);
  [[nodiscard]] HRESULT CreateFromClsid(REFCLSID clsid, IUnknown** object);
  [[nodiscard]] HRESULT CreateFromDll(const std::wstring& path, CLSID* clsid, IUnknown** object);

  const std::wstring& Error() const { return error_; }
  // The type library of a DLL created from; null otherwise.
  ITypeLib* Library() const { return library_.Get(); }
  // Call once every object of the DLL is released here. The DLL is freed if it says it can
  // unload; otherwise it stays loaded for good, since someone still holding one of its objects
  // would otherwise run freed code.
  void Unload();

  // The coclass description of an object of class clsid: from IProvideClassInfo, else from
  // library (if given), else from the library of the object's IDispatch type information.
  // *info is untouched on failure.
  [[nodiscard]] static HRESULT ClassInfoOf(IUnknown* object, REFCLSID clsid, ITypeLib* library,
                                           ITypeInfo** info);

 private:
  HRESULT Fail(HRESULT result, const std::wstring& what);

  ScopedModule module_;
  Microsoft::WRL::ComPtr<ITypeLib> library_;
  std::wstring error_;
};
