#include "tools/axrun/axrun_object.h"

#include "tools/axrun/console.h"

namespace {

std::wstring TextOf(BSTR text) { return text ? std::wstring(text, ::SysStringLen(text)) : L""; }

}  // namespace

STDMETHODIMP CAxrunObject::Echo(BSTR text) {
  PrintLine(TextOf(text));
  return S_OK;
}

STDMETHODIMP CAxrunObject::Fail(BSTR text) {
  PrintErrorLine(L"FAIL: " + TextOf(text));
  state_.Fail();
  return S_OK;
}

STDMETHODIMP CAxrunObject::Activate(VARIANT_BOOL* active) {
  if (active == nullptr) return E_POINTER;
  *active = VARIANT_FALSE;
  if (!host_.IsControl()) return S_OK;
  const HRESULT result = host_.Activate();
  if (FAILED(result)) {
    PrintErrorLine(L"axrun: " + host_.Error());
    return result;
  }
  *active = host_.IsActive() ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP CAxrunObject::Pump(LONG milliseconds) {
  if (milliseconds < 0) return E_INVALIDARG;
  if (!state_.Ending()) {
    host_.Pump(static_cast<DWORD>(milliseconds), [this] { return state_.Ending(); });
  }
  // An event handler may have ended the run meanwhile; the script stops with it.
  return state_.Ending() ? kRunEnded : S_OK;
}

STDMETHODIMP CAxrunObject::Quit(LONG code) {
  state_.Quit(code);
  return kRunEnded;
}

STDMETHODIMP CAxrunObject::AnswerBoxes(BSTR button) {
  const std::wstring name = TextOf(button);
  const struct {
    const wchar_t* name;
    int id;
  } buttons[] = {{L"", 0}, {L"ok", IDOK}, {L"yes", IDYES}, {L"no", IDNO}, {L"cancel", IDCANCEL}};
  for (const auto& known : buttons) {
    if (name == known.name) {
      boxes_.AnswerWith(known.id);
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

STDMETHODIMP CAxrunObject::get_BoxesSeen(BSTR* boxes) {
  if (boxes == nullptr) return E_POINTER;
  std::wstring text;
  for (const std::wstring& box : boxes_.Seen()) text += box + L"\n";
  *boxes = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *boxes != nullptr ? S_OK : E_OUTOFMEMORY;
}
