#include "tests/win/control/probe_control.h"

namespace {

constexpr PersistedProperty kProperties[] = {
    {L"_cx", PersistedProperty::Kind::ExtentWidth, 0, nullptr},
    {L"_cy", PersistedProperty::Kind::ExtentHeight, 0, nullptr},
    {L"Color", PersistedProperty::Kind::Dispatch, 3, &CLSID_ProbeControl},
    {L"Width", PersistedProperty::Kind::Dispatch, 7, &CLSID_ProbeControl},
    {L"Height", PersistedProperty::Kind::Dispatch, 8, &CLSID_ProbeControl},
    {L"Border", PersistedProperty::Kind::Dispatch, 12, &CLSID_ProbeControl},
    {L"Image", PersistedProperty::Kind::Dispatch, 13, &CLSID_ProbeControl},
};

}  // namespace

CProbeControl::CProbeControl() : color_(::SysAllocString(L"darkgray")) {
  (void)AddConnectionPoint(DIID__IProbeControlEvents);
}

const ControlClass& CProbeControl::Description() {
  static const ControlClass description = {&CLSID_ProbeControl,
                                           &IID_IProbeControl,
                                           &DIID__IProbeControlEvents,
                                           kProperties,
                                           OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST,
                                           VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND,
                                           {100, 50},
                                           L"KoviraProbeControl",
                                           CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
                                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                                           0x300};
  return description;
}

STDMETHODIMP CProbeControl::get_Color(BSTR* value) { return color_.CopyTo(value); }
STDMETHODIMP CProbeControl::put_Color(BSTR value) {
  calls.push_back(L"put:3");
  return color_.CopyFrom(value);
}
STDMETHODIMP CProbeControl::get_Width(LONG* value) {
  if (failGets) return E_UNEXPECTED;
  *value = width_;
  return S_OK;
}
STDMETHODIMP CProbeControl::put_Width(LONG value) {
  calls.push_back(L"put:7");
  if (value == kRefusedWidth) return E_INVALIDARG;
  width_ = value;
  return S_OK;
}
STDMETHODIMP CProbeControl::get_Height(LONG* value) {
  *value = height_;
  return S_OK;
}
STDMETHODIMP CProbeControl::put_Height(LONG value) {
  calls.push_back(L"put:8");
  height_ = value;
  return S_OK;
}
STDMETHODIMP CProbeControl::get_Border(VARIANT_BOOL* value) {
  *value = border_;
  return S_OK;
}
STDMETHODIMP CProbeControl::put_Border(VARIANT_BOOL value) {
  calls.push_back(L"put:12");
  border_ = value ? VARIANT_TRUE : VARIANT_FALSE;
  FireViewChange();  // its look changed
  return S_OK;
}
STDMETHODIMP CProbeControl::get_Image(BSTR* value) { return image_.CopyTo(value); }
STDMETHODIMP CProbeControl::put_Image(BSTR value) {
  calls.push_back(L"put:13");
  return image_.CopyFrom(value);
}

HRESULT CProbeControl::OnDraw(HDC dc, const RECT& bounds) {
  calls.push_back(L"draw");
  HBRUSH brush = ::CreateSolidBrush(RGB(0, 0, 128));
  ::FillRect(dc, &bounds, brush);
  ::DeleteObject(brush);
  return S_OK;
}
