#pragma once

#include <windows.h>

#include <oleidl.h>
#include <wrl/client.h>

#include "common/com_object.h"

// IOleInPlaceFrame also stands for the interfaces it derives from.
template <>
struct InterfaceIdentity<IOleInPlaceFrame>
    : AnswersFor<IOleInPlaceFrame, IOleInPlaceUIWindow, IOleWindow> {};

// The frame a control in place sees: a plain window with no menus, toolbars or status bar, as a
// browser window offers to a control inside a page. It keeps the control's active object while
// the control is UI active, so keyboard messages can be offered to it.
class CInPlaceFrame final : public CComObject<IOleInPlaceFrame> {
 public:
  explicit CInPlaceFrame(HWND window) : window_(window) {}

  IOleInPlaceActiveObject* ActiveObject() const { return active_.Get(); }
  // Lets go of the active object, for a control that closes without saying so.
  void Clear() { active_.Reset(); }

  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetBorder(LPRECT border) override;
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR name) override;
  STDMETHODIMP InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
  STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~CInPlaceFrame() override = default;

  HWND window_;
  Microsoft::WRL::ComPtr<IOleInPlaceActiveObject> active_;
};
