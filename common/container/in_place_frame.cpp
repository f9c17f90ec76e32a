#include "common/container/in_place_frame.h"

STDMETHODIMP CInPlaceFrame::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

STDMETHODIMP CInPlaceFrame::GetBorder(LPRECT border) {
  if (border == nullptr) return E_POINTER;
  return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CInPlaceFrame::SetBorderSpace(LPCBORDERWIDTHS widths) {
  // Asking for no space (null, or all zero) is granted; there is room for no toolbar.
  if (widths == nullptr ||
      (widths->left == 0 && widths->top == 0 && widths->right == 0 && widths->bottom == 0)) {
    return S_OK;
  }
  return INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP CInPlaceFrame::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
  active_ = active;
  return S_OK;
}

STDMETHODIMP CInPlaceFrame::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS widths) {
  if (widths == nullptr) return E_POINTER;
  // The container's groups (File, Container, Window) are empty: it has no menu.
  widths->width[0] = widths->width[2] = widths->width[4] = 0;
  return S_OK;
}
