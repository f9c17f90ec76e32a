#pragma once

#include <windows.h>

#include <activscp.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/variant.h"

// A script error as the engine reports it; line counts from 1 (0: not known).
struct ScriptError {
  ULONG line = 0;
  std::wstring message;
  HRESULT code = S_OK;
};

// JScript run by the platform's engine with named items of ours; this object is the engine's
// site. Errors go to a handler; an error inside a function the host calls is reported the same
// way, whether or not the engine reports it to the site itself.
class CScriptHost final : public CComObject<IActiveScriptSite, IActiveScriptSiteWindow> {
 public:
  using ErrorHandler = std::function<void(const ScriptError&)>;

  explicit CScriptHost(ErrorHandler on_error) : onError_(std::move(on_error)) {}

  // Creates the engine (CLSID_JScript) and sets it up empty.
  [[nodiscard]] HRESULT Start();
  // A named item; info (may be null) is the object's coclass description.
  [[nodiscard]] HRESULT AddItem(const std::wstring& name, IUnknown* object, ITypeInfo* info,
                                DWORD flags);
  // The window script dialogs would belong to.
  void SetWindow(HWND window) { window_ = window; }
  // Connects the engine and runs code's global statements. A script error has been reported by
  // the time this returns (SCRIPT_E_REPORTED then).
  [[nodiscard]] HRESULT Run(const std::wstring& code);
  // Calls the script's global function with arguments in source order; S_FALSE when the script
  // has no such name. result (may be null) is emptied first, then receives what the function
  // returned (VT_EMPTY for undefined); it stays VT_EMPTY whenever the call does not succeed.
  HRESULT Call(const std::wstring& function, const std::vector<ScopedVariant>& arguments,
               ScopedVariant* result = nullptr);
  // Closes the engine, which lets the named items go.
  void Close();

  // IActiveScriptSite
  STDMETHODIMP GetLCID(LCID*) override { return E_NOTIMPL; }  // the user's default
  STDMETHODIMP GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** object,
                           ITypeInfo** info) override;
  STDMETHODIMP GetDocVersionString(BSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
  STDMETHODIMP OnStateChange(SCRIPTSTATE) override { return S_OK; }
  STDMETHODIMP OnScriptError(IActiveScriptError* error) override;
  STDMETHODIMP OnEnterScript() override { return S_OK; }
  STDMETHODIMP OnLeaveScript() override { return S_OK; }

  // IActiveScriptSiteWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

 private:
  struct Item {
    std::wstring name;
    Microsoft::WRL::ComPtr<IUnknown> object;
    Microsoft::WRL::ComPtr<ITypeInfo> info;
  };

  ~CScriptHost() override = default;

  ErrorHandler onError_;
  Microsoft::WRL::ComPtr<IActiveScript> engine_;
  Microsoft::WRL::ComPtr<IActiveScriptParse> parser_;
  std::vector<Item> items_;
  HWND window_ = nullptr;
  unsigned reported_ = 0;  // errors reported through OnScriptError so far
};
