#include "common/control/ole_in_place_object_impl.h"

STDMETHODIMP OleInPlaceObjectImpl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = Window();
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP OleInPlaceObjectImpl::GetDropTarget(IDropTarget** target) {
  if (target == nullptr) return E_POINTER;
  *target = nullptr;
  return E_NOTIMPL;
}
