#pragma once

#include <windows.h>

#include <objsafe.h>

#include "common/com_object.h"
#include "common/control/control_core.h"

// MinGW's objsafe.h gives the IID but no __uuidof.
__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0,
                0x64)

// IObjectSafety of a control that is safe for scripting and for initialisation from page data,
// on every interface it has. The enabled options start empty and are one set for the object.
class ObjectSafetyImpl : public IObjectSafety, public virtual ControlCore {
 public:
  static constexpr DWORD kSupported =
      INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

  STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

 protected:
  ObjectSafetyImpl() = default;
  ~ObjectSafetyImpl() = default;

 private:
  bool HasInterface(REFIID riid);

  DWORD enabled_ = 0;
};

template <>
struct InterfaceIdentity<ObjectSafetyImpl> : AnswersFor<IObjectSafety> {};
