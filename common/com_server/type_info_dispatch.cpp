#include "type_info_dispatch.h"

#include <string>
#include <utility>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
ComPtr<ITypeLib> g_library;
std::vector<std::pair<IID, ComPtr<ITypeInfo>>> g_infos;

class ExclusiveLock {
 public:
  ExclusiveLock() { ::AcquireSRWLockExclusive(&g_lock); }
  ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&g_lock); }
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;
};

}  // namespace

HRESULT GetModuleTypeInfo(REFIID iid, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  const ExclusiveLock lock;
  for (const auto& [cached_iid, cached] : g_infos) {
    if (cached_iid == iid) return cached.CopyTo(info);
  }
  if (!g_library) {
    const std::wstring path = ComModule::Path();
    if (path.empty()) return E_UNEXPECTED;  // ComModule::Init was never called
    // REGKIND_NONE: answering IDispatch must never register the library.
    const HRESULT result =
        ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, g_library.ReleaseAndGetAddressOf());
    if (FAILED(result)) return result;
  }
  ComPtr<ITypeInfo> found;
  const HRESULT result = g_library->GetTypeInfoOfGuid(iid, &found);
  if (FAILED(result)) return result;
  g_infos.emplace_back(iid, found);
  return found.CopyTo(info);
}
