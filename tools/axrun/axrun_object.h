#pragma once

#include <windows.h>

#include "axrun.h"
#include "common/com_object.h"
#include "common/com_server/type_info_dispatch.h"
#include "tools/axrun/run_state.h"
#include "tools/control_host/control_host.h"

// What the script's `axrun` item answers with: its IDispatch comes from axrun's own type library.
class CAxrunObject final : public CComObject<TypeInfoDispatch<IAxrunHost>> {
 public:
  // The failure Quit (and Pump, once the run is ending) returns to stop the script.
  static constexpr HRESULT kRunEnded = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0A01);

  CAxrunObject(CRunState& state, CControlHost& host) : state_(state), host_(host) {}

  STDMETHODIMP Echo(BSTR text) override;
  STDMETHODIMP Fail(BSTR text) override;
  // A control that refuses activation gives its error (a script error), said on stderr first.
  STDMETHODIMP Activate(VARIANT_BOOL* active) override;
  STDMETHODIMP Pump(LONG milliseconds) override;
  STDMETHODIMP Quit(LONG code) override;

 private:
  ~CAxrunObject() override = default;

  CRunState& state_;
  CControlHost& host_;
};
