// A server object answering IDispatch from its type library and raising events; used by the
// tests through the DLL's exports, unregistered.
#include <windows.h>

#include <initguid.h>

#include <string>

#include "common/com_server/connection_point.h"
#include "common/com_server/server_entry_points.h"
#include "common/com_server/type_info_dispatch.h"
#include "probe_events.h"

namespace {

class EventSource final
    : public ServerObject<TypeInfoDispatch<IEventProbe>, ConnectionPointContainer> {
 public:
  EventSource() { (void)AddConnectionPoint(DIID_DEventProbeEvents); }

  STDMETHODIMP Describe(BSTR name, LONG count, BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    const std::wstring described = std::wstring(name ? name : L"") + L" x" + std::to_wstring(count);
    *text = ::SysAllocString(described.c_str());
    return *text ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP Raise(BSTR text, LONG number) override {
    return Fire(1, static_cast<const wchar_t*>(text), number);
  }
  STDMETHODIMP Ask(BSTR question, VARIANT_BOOL* allowed) override {
    if (allowed == nullptr) return E_POINTER;
    ScopedVariant answer;
    const HRESULT result = FireForAnswer(answer, 2, static_cast<const wchar_t*>(question));
    if (FAILED(result)) return result;
    *allowed = EventAllows(answer.Get()) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

 private:
  ~EventSource() override = default;
};

const ClassEntry kClasses[] = {{CLSID_EventProbe, &CreateObject<EventSource>}};

}  // namespace

std::span<const ClassEntry> ServerClasses() { return kClasses; }

// Never registered: tests load it by path.
const ServerDescription& ServerRegistration() {
  static const ServerDescription nothing = {};
  return nothing;
}
