#pragma once

#include <windows.h>

#include <oleidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IOleInPlaceActiveObject: keystrokes go to the control's OnTranslateAccelerator, which by
// default offers them to the control site.
class OleInPlaceActiveObjectImpl : public IOleInPlaceActiveObject, public virtual ControlCore {
 public:
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG message) override;
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

 protected:
  OleInPlaceActiveObjectImpl() = default;
  ~OleInPlaceActiveObjectImpl() = default;
};

template <>
struct InterfaceIdentity<OleInPlaceActiveObjectImpl> : AnswersFor<IOleInPlaceActiveObject> {};
