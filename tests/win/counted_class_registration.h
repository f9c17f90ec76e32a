#pragma once

// A class registered in this process only (CoRegisterClassObject) for as long as the owner
// lives, whose class object counts every instance asked of it: tests see whether anything tried
// to create the class, and whether it could have.
#include <windows.h>

#include <objbase.h>

#include "common/com_object.h"
#include "common/com_server/class_factory.h"

class CountedClassRegistration {
 public:
  // Instances are made by create; Registered() says whether the registration took.
  CountedClassRegistration(REFCLSID clsid, CreateFunction create)
      : factory_(MakeComObject<Factory>(create)) {
    registered_ = ::CoRegisterClassObject(clsid, factory_.Get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_);
  }
  CountedClassRegistration(const CountedClassRegistration&) = delete;
  CountedClassRegistration& operator=(const CountedClassRegistration&) = delete;
  ~CountedClassRegistration() {
    if (SUCCEEDED(registered_)) (void)::CoRevokeClassObject(cookie_);  // ours: cannot be gone
  }

  HRESULT Registered() const { return registered_; }
  // CreateInstance calls so far, made or refused.
  LONG Requests() const { return factory_->Requests(); }

 private:
  class Factory final : public CComObject<IClassFactory> {
   public:
    explicit Factory(CreateFunction create) : create_(create) {}
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
      ++requests_;
      return create_(outer, riid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
    LONG Requests() const { return requests_; }

   private:
    ~Factory() override = default;
    CreateFunction create_;
    LONG requests_ = 0;
  };

  Microsoft::WRL::ComPtr<Factory> factory_;
  DWORD cookie_ = 0;
  HRESULT registered_ = E_UNEXPECTED;
};
