#include "tools/axrun/script_host.h"

#include <oleauto.h>

#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// JScript's class id; the SDK headers do not carry it.
constexpr CLSID kJScript = {
    0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

// Owns the strings of an EXCEPINFO, filling it in first if the engine deferred that.
class ScopedExcepInfo {
 public:
  ScopedExcepInfo() = default;
  ScopedExcepInfo(const ScopedExcepInfo&) = delete;
  ScopedExcepInfo& operator=(const ScopedExcepInfo&) = delete;
  ~ScopedExcepInfo() {
    ::SysFreeString(info_.bstrSource);
    ::SysFreeString(info_.bstrDescription);
    ::SysFreeString(info_.bstrHelpFile);
  }

  EXCEPINFO* Receive() { return &info_; }

  std::wstring Message() {
    if (info_.pfnDeferredFillIn != nullptr) {
      (void)info_.pfnDeferredFillIn(&info_);  // without it the texts stay empty
      info_.pfnDeferredFillIn = nullptr;
    }
    if (info_.bstrDescription != nullptr && info_.bstrDescription[0] != L'\0') {
      return info_.bstrDescription;
    }
    return L"script error";
  }
  HRESULT Code() const {
    if (info_.scode != S_OK) return info_.scode;
    return info_.wCode != 0 ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, info_.wCode) : E_FAIL;
  }

 private:
  EXCEPINFO info_ = {};
};

}  // namespace

HRESULT CScriptHost::Start() {
  if (engine_) return E_UNEXPECTED;
  ComPtr<IActiveScript> engine;
  HRESULT result =
      ::CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&engine));
  if (FAILED(result)) return result;
  ComPtr<IActiveScriptParse> parser;
  result = engine.As(&parser);
  if (FAILED(result)) return result;
  result = engine->SetScriptSite(this);
  if (FAILED(result)) return result;
  result = parser->InitNew();
  if (FAILED(result)) {
    (void)engine->Close();  // it holds this site
    return result;
  }
  engine_ = std::move(engine);
  parser_ = std::move(parser);
  return S_OK;
}

HRESULT CScriptHost::AddItem(const std::wstring& name, IUnknown* object, ITypeInfo* info,
                             DWORD flags) {
  if (!engine_) return E_UNEXPECTED;
  if (object == nullptr) return E_POINTER;
  items_.push_back({name, object, info});
  const HRESULT result = engine_->AddNamedItem(name.c_str(), flags);
  if (FAILED(result)) items_.pop_back();
  return result;
}

HRESULT CScriptHost::Run(const std::wstring& code) {
  if (!engine_) return E_UNEXPECTED;
  // Connected first: the code then runs as it is parsed, with the items' events live.
  HRESULT result = engine_->SetScriptState(SCRIPTSTATE_CONNECTED);
  if (FAILED(result)) return result;
  ScopedExcepInfo exception;
  const unsigned reported = reported_;
  result = parser_->ParseScriptText(code.c_str(), nullptr, nullptr, nullptr, 0, 0,
                                    SCRIPTTEXT_ISVISIBLE, nullptr, exception.Receive());
  if (result == DISP_E_EXCEPTION && reported_ == reported && onError_) {
    onError_({0, exception.Message(), exception.Code()});
  }
  return result;
}

HRESULT CScriptHost::Call(const std::wstring& function, const std::vector<ScopedVariant>& arguments,
                          ScopedVariant* result) {
  if (result != nullptr) result->Reset();
  if (!engine_) return E_UNEXPECTED;
  ComPtr<IDispatch> script;
  HRESULT called = engine_->GetScriptDispatch(nullptr, &script);
  if (FAILED(called)) return called;
  LPOLESTR names[] = {const_cast<LPOLESTR>(function.c_str())};
  DISPID id = DISPID_UNKNOWN;
  called = script->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (called == DISP_E_UNKNOWNNAME) return S_FALSE;
  if (FAILED(called)) return called;
  // Views of the arguments, last first; the engine only reads them.
  std::vector<VARIANTARG> packed(arguments.size() + 1);
  for (size_t i = 0; i < arguments.size(); ++i) {
    packed[arguments.size() - 1 - i] = arguments[i].Get();
  }
  DISPPARAMS params = {packed.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
  ScopedVariant returned;
  ScopedExcepInfo exception;
  const unsigned reported = reported_;
  called = script->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          returned.Receive(), exception.Receive(), nullptr);
  if (called == DISP_E_EXCEPTION && reported_ == reported && onError_) {
    // The engine handed the error back to us instead of to the site: report it all the same.
    onError_({0, exception.Message(), exception.Code()});
  }
  if (SUCCEEDED(called) && result != nullptr) *result = std::move(returned);
  return called;
}

void CScriptHost::Close() {
  if (engine_) (void)engine_->Close();  // it lets go of the site and every item
  parser_.Reset();
  engine_.Reset();
  items_.clear();
}

STDMETHODIMP CScriptHost::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** object,
                                      ITypeInfo** info) {
  if (name == nullptr) return E_INVALIDARG;
  if ((mask & SCRIPTINFO_IUNKNOWN) && object == nullptr) return E_POINTER;
  if ((mask & SCRIPTINFO_ITYPEINFO) && info == nullptr) return E_POINTER;
  if (mask & SCRIPTINFO_IUNKNOWN) *object = nullptr;
  if (mask & SCRIPTINFO_ITYPEINFO) *info = nullptr;
  for (const Item& item : items_) {
    if (item.name != name) continue;
    if ((mask & SCRIPTINFO_ITYPEINFO) && !item.info) return TYPE_E_ELEMENTNOTFOUND;
    // Copies of pointers held: they cannot fail.
    if (mask & SCRIPTINFO_ITYPEINFO) (void)item.info.CopyTo(info);
    if (mask & SCRIPTINFO_IUNKNOWN) (void)item.object.CopyTo(object);
    return S_OK;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CScriptHost::OnScriptError(IActiveScriptError* error) {
  if (error == nullptr) return E_POINTER;
  ++reported_;
  ScopedExcepInfo exception;
  (void)error->GetExceptionInfo(exception.Receive());  // left empty, it reads "script error"
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  const bool placed = SUCCEEDED(error->GetSourcePosition(&context, &line, &column));
  if (onError_) onError_({placed ? line + 1 : 0, exception.Message(), exception.Code()});
  return S_OK;
}

STDMETHODIMP CScriptHost::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return S_OK;
}
