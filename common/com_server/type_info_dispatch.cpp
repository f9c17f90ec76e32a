#include "common/com_server/type_info_dispatch.h"

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

HRESULT CheckArgumentCount(ITypeInfo* info, DISPID id, WORD flags, const DISPPARAMS* params) {
  if (params == nullptr) return S_OK;  // DispInvoke answers for that
  // Named arguments such as the DISPID_THIS a script engine adds are not the member's; a put's
  // value, named DISPID_PROPERTYPUT, is.
  UINT passed = params->cArgs - params->cNamedArgs;
  for (UINT i = 0; i < params->cNamedArgs && params->rgdispidNamedArgs != nullptr; ++i) {
    if (params->rgdispidNamedArgs[i] == DISPID_PROPERTYPUT) ++passed;
  }
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return S_OK;
  const UINT functions = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  // Walked by hand: Wine's GetFuncIndexOfMemId gives indexes that GetFuncDesc reads differently
  // on the dispatch side of a dual interface.
  bool found = false;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* description = nullptr;
    if (FAILED(info->GetFuncDesc(i, &description))) continue;
    const bool matches = description->memid == id && (flags & description->invkind) != 0;
    // A [retval] parameter is never passed by the caller.
    UINT takes = static_cast<UINT>(description->cParams);
    if (takes > 0 &&
        (description->lprgelemdescParam[takes - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)) {
      --takes;
    }
    info->ReleaseFuncDesc(description);
    if (!matches) continue;
    if (passed <= takes) return S_OK;
    found = true;
  }
  // No member: DispInvoke reports that itself.
  return found ? DISP_E_BADPARAMCOUNT : S_OK;
}
