#include "common/control/property_pages_impl.h"

#include <vector>

STDMETHODIMP PropertyPagesImpl::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  std::vector<CLSID> distinct;
  for (const auto& row : Class().properties) {
    if (row.page == nullptr) continue;
    bool seen = false;
    for (const auto& page : distinct) seen = seen || page == *row.page;
    if (!seen) distinct.push_back(*row.page);
  }
  if (distinct.empty()) return S_OK;
  auto* list = static_cast<CLSID*>(::CoTaskMemAlloc(distinct.size() * sizeof(CLSID)));
  if (list == nullptr) return E_OUTOFMEMORY;
  for (size_t i = 0; i < distinct.size(); ++i) list[i] = distinct[i];
  pages->cElems = static_cast<ULONG>(distinct.size());
  pages->pElems = list;
  return S_OK;
}
