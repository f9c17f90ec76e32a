#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <servprov.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "common/com_object.h"
#include "common/container/in_place_frame.h"

// IOleInPlaceSiteEx also stands for the interfaces it derives from.
template <>
struct InterfaceIdentity<IOleInPlaceSiteEx>
    : AnswersFor<IOleInPlaceSiteEx, IOleInPlaceSite, IOleWindow> {};

// Where one control lives in its container, as a browser's site for an OBJECT tag: client site,
// in-place site in the container's window, control site, ambient properties (its IDispatch) and
// services (the bind host, when the container has one). Windowless activation is not offered.
// It holds the control only while it is in place; CControlContainer breaks the rest at Close.
class CControlSite final : public CComObject<IOleClientSite, IOleInPlaceSiteEx, IOleControlSite,
                                             IDispatch, IServiceProvider> {
 public:
  // name: the control's DISPLAYNAME ambient; bind_host: offered as SID_SBindHost, null for a
  // container without one; page: the container's moniker (OLEWHICHMK_CONTAINER), may be null.
  CControlSite(std::wstring name, Microsoft::WRL::ComPtr<IBindHost> bind_host,
               Microsoft::WRL::ComPtr<IMoniker> page);

  // The control this site holds; null lets it go.
  void SetObject(IUnknown* object) { object_ = object; }
  // The window the control goes into in place; null takes it away (with the frame).
  void SetWindow(HWND window);
  // Drops every reference the site holds to the control, so that a closed control can go.
  void Detach();

  bool InPlaceActive() const { return inPlace_ != nullptr; }
  bool UiActive() const { return uiActive_; }
  IOleInPlaceObject* InPlaceObject() const { return inPlace_.Get(); }
  CInPlaceFrame* Frame() const { return frame_.Get(); }

  // IOleClientSite
  STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
  // OLEWHICHMK_CONTAINER is the page's moniker when there is one; E_FAIL otherwise.
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
  STDMETHODIMP GetContainer(IOleContainer** container) override;
  STDMETHODIMP ShowObject() override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() override { return window_ ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() override;
  STDMETHODIMP OnUIActivate() override;
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
  STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) override;
  STDMETHODIMP OnInPlaceDeactivate() override;
  STDMETHODIMP DiscardUndoState() override { return S_OK; }
  STDMETHODIMP DeactivateAndUndo() override;
  STDMETHODIMP OnPosRectChange(LPCRECT position) override;

  // IOleInPlaceSiteEx
  STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD flags) override;
  STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
  STDMETHODIMP RequestUIActivate() override { return S_OK; }

  // IOleControlSite
  STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
  STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
  STDMETHODIMP GetExtendedControl(IDispatch** control) override;
  STDMETHODIMP TransformCoords(POINTL* himetric, POINTF* container, DWORD flags) override;
  STDMETHODIMP TranslateAccelerator(MSG*, DWORD) override { return S_FALSE; }
  STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
  STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

  // IDispatch: the ambient properties, read with DISPATCH_PROPERTYGET and no arguments. Any
  // other DISPID, or another kind of call, gives DISP_E_MEMBERNOTFOUND.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override;

  // IServiceProvider: SID_SBindHost when there is a bind host; E_NOINTERFACE for the rest.
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** object) override;

 private:
  ~CControlSite() override = default;

  std::wstring name_;
  Microsoft::WRL::ComPtr<IBindHost> bindHost_;
  Microsoft::WRL::ComPtr<IMoniker> page_;
  Microsoft::WRL::ComPtr<IUnknown> object_;
  HWND window_ = nullptr;
  Microsoft::WRL::ComPtr<CInPlaceFrame> frame_;
  Microsoft::WRL::ComPtr<IOleInPlaceObject> inPlace_;  // while the control is in place
  bool uiActive_ = false;
};
