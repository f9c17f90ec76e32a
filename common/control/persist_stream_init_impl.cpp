#include "common/control/persist_stream_init_impl.h"

STDMETHODIMP PersistStreamInitImpl::GetSizeMax(ULARGE_INTEGER* size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return E_NOTIMPL;  // texts of any length are saved
}
