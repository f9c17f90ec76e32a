#pragma once

#include <windows.h>

#include <ocidl.h>
#include <wrl/client.h>

#include "common/com_object.h"

// IObjectWithSite: keeps the site a container gives; without one GetSite fails with E_FAIL.
class ObjectWithSiteImpl : public IObjectWithSite {
 public:
  STDMETHODIMP SetSite(IUnknown* site) override;
  STDMETHODIMP GetSite(REFIID riid, void** site) override;

 protected:
  ObjectWithSiteImpl() = default;
  ~ObjectWithSiteImpl() = default;

 private:
  Microsoft::WRL::ComPtr<IUnknown> site_;
};

template <>
struct InterfaceIdentity<ObjectWithSiteImpl> : AnswersFor<IObjectWithSite> {};
