#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// IOleInPlaceObjectWindowless of a window-only control: it never takes window messages from the
// container, since it always has a window of its own.
class OleInPlaceObjectImpl : public IOleInPlaceObjectWindowless, public virtual ControlCore {
 public:
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override { return ControlCore::InPlaceDeactivate(); }
  STDMETHODIMP UIDeactivate() override { return ControlCore::UIDeactivate(); }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override {
    return ControlCore::SetObjectRects(position, clip);
  }
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
  STDMETHODIMP OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) override { return S_FALSE; }
  STDMETHODIMP GetDropTarget(IDropTarget** target) override;

 protected:
  OleInPlaceObjectImpl() = default;
  ~OleInPlaceObjectImpl() = default;
};

// Answers IOleInPlaceObjectWindowless, IOleInPlaceObject and IOleWindow.
template <>
struct InterfaceIdentity<OleInPlaceObjectImpl>
    : AnswersFor<IOleInPlaceObjectWindowless, IOleInPlaceObject, IOleWindow> {};

// The same implementation for a control that answers IOleInPlaceObject alone.
class OleInPlaceObjectOnlyImpl : public OleInPlaceObjectImpl {
 protected:
  OleInPlaceObjectOnlyImpl() = default;
  ~OleInPlaceObjectOnlyImpl() = default;
};

template <>
struct InterfaceIdentity<OleInPlaceObjectOnlyImpl> : AnswersFor<IOleInPlaceObject> {};
