#include "common/control/persist_storage_impl.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr wchar_t kContents[] = L"Contents";
}  // namespace

STDMETHODIMP PersistStorageImpl::InitNew(IStorage* storage) {
  return storage == nullptr ? E_POINTER : S_OK;
}

STDMETHODIMP PersistStorageImpl::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  const HRESULT result =
      storage->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
  if (FAILED(result)) return result;
  return LoadProperties(stream.Get());
}

STDMETHODIMP PersistStorageImpl::Save(IStorage* storage, BOOL) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  const HRESULT result = storage->CreateStream(
      kContents, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream);
  if (FAILED(result)) return result;
  return SaveProperties(stream.Get(), true);
}
