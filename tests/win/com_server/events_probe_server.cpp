// A server object answering IDispatch from its type library and raising events; used by the
// tests through the DLL's exports, unregistered.
#include <windows.h>

#include <initguid.h>

#include <string>

#include "common/com_server/com_server.h"
#include "common/com_server/connection_point.h"
#include "common/com_server/type_info_dispatch.h"
#include "probe_events.h"

namespace {

class EventSource final
    : public ServerObject<TypeInfoDispatch<IEventProbe>, ConnectionPointContainer> {
 public:
  EventSource() { (void)AddConnectionPoint(DIID_DEventProbeEvents); }

  STDMETHODIMP Describe(BSTR name, LONG count, BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    const std::wstring described =
        std::wstring(name ? name : L"") + L" x" + std::to_wstring(count);
    *text = ::SysAllocString(described.c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP Raise(BSTR text, LONG number) override {
    return Fire(1, static_cast<const wchar_t*>(text), number);
  }

 private:
  ~EventSource() override = default;
};

const ClassEntry kClasses[] = {{CLSID_EventProbe, &CreateObject<EventSource>}};

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    ComModule::Init(instance);
    ::DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
  return GetClassObject(kClasses, clsid, riid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ComModule::CanUnloadNow(); }
