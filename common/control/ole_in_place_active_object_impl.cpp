#include "common/control/ole_in_place_active_object_impl.h"

STDMETHODIMP OleInPlaceActiveObjectImpl::GetWindow(HWND* window) {
  if (window == nullptr) return E_POINTER;
  *window = Window();
  return *window != nullptr ? S_OK : E_FAIL;
}

STDMETHODIMP OleInPlaceActiveObjectImpl::TranslateAccelerator(LPMSG message) {
  if (message == nullptr) return E_POINTER;
  return OnTranslateAccelerator(message);
}
