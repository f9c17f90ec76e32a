#pragma once

#include <windows.h>

#include <unknwn.h>
#include <wrl/client.h>

#include <utility>

// How QueryInterface finds an interface base of an object. A base that answers for more than
// one IID (a dual interface's IDispatch, say) specializes it.
template <typename I>
struct InterfaceIdentity {
  static bool Answers(REFIID riid) { return riid == __uuidof(I); }
};

// The interfaces a base answers for, named by type:
//   template <> struct InterfaceIdentity<ViewImpl> : AnswersFor<IViewObject2, IViewObject> {};
template <typename... Interfaces>
struct AnswersFor {
  static bool Answers(REFIID riid) { return ((riid == __uuidof(Interfaces)) || ...); }
};

// IUnknown for our own COM objects: reference counting and a QueryInterface that answers
// IUnknown and each listed interface. The object deletes itself on the last Release.
//   class CThing : public CComObject<IFoo, IBar> { ... };
template <typename... Interfaces>
class CComObject : public Interfaces... {
 public:
  CComObject() = default;
  CComObject(const CComObject&) = delete;
  CComObject& operator=(const CComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown) {
      *object = Identity();
    } else {
      (void)(Match<Interfaces>(riid, object) || ...);
    }
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = ::InterlockedDecrement(&refs_);
    if (refs == 0) {
      // A reference of its own while it ends its work: what FinalRelease calls may add and drop
      // references without freeing the object a second time.
      refs_ = 1;
      FinalRelease();
      delete this;
    }
    return refs;
  }

 protected:
  virtual ~CComObject() = default;

  // The last reference is gone; the object is still whole. Runs once, before the destructor.
  virtual void FinalRelease() {}

  // The object's identity: the IUnknown that QueryInterface hands out.
  IUnknown* Identity() { return static_cast<IUnknown*>(static_cast<FirstInterface*>(this)); }

 private:
  template <typename... T>
  struct First;
  template <typename T, typename... Rest>
  struct First<T, Rest...> {
    using Type = T;
  };
  using FirstInterface = typename First<Interfaces...>::Type;

  template <typename I>
  bool Match(REFIID riid, void** object) {
    if (!InterfaceIdentity<I>::Answers(riid)) return false;
    *object = static_cast<I*>(this);
    return true;
  }

  LONG refs_ = 1;  // the creator holds the first reference
};

// A new object of ours in a ComPtr that owns its first reference. MinGW's ComPtr::Attach adds a
// reference of its own, so Attach(new T) would leave one behind and the object would never go.
template <typename T, typename... Args>
Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args) {
  Microsoft::WRL::ComPtr<T> object;
  *object.GetAddressOf() = new T(std::forward<Args>(args)...);
  return object;
}
