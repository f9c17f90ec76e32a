#pragma once

#include <windows.h>

#include "axrun.h"
#include "common/com_object.h"
#include "common/com_server/type_info_dispatch.h"
#include "tools/axrun/box_answerer.h"
#include "tools/axrun/run_state.h"
#include "tools/control_host/control_host.h"

// What the script's `axrun` item answers with: its IDispatch comes from axrun's own type library.
class CAxrunObject final : public CComObject<TypeInfoDispatch<IAxrunHost>> {
 public:
  // The failure Quit (and Pump, once the run is ending) returns to stop the script.
  static constexpr HRESULT kRunEnded = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0A01);

  CAxrunObject(CRunState& state, CControlHost& host, CBoxAnswerer& boxes)
      : state_(state), host_(host), boxes_(boxes) {}

  STDMETHODIMP Echo(BSTR text) override;
  STDMETHODIMP Fail(BSTR text) override;
  // A control that refuses activation gives its error (a script error), said on stderr first.
  STDMETHODIMP Activate(VARIANT_BOOL* active) override;
  STDMETHODIMP Pump(LONG milliseconds) override;
  STDMETHODIMP Quit(LONG code) override;
  // E_INVALIDARG for a button that is none of the four.
  STDMETHODIMP AnswerBoxes(BSTR button) override;
  STDMETHODIMP get_BoxesSeen(BSTR* boxes) override;

 private:
  ~CAxrunObject() override = default;

  CRunState& state_;
  CControlHost& host_;
  CBoxAnswerer& boxes_;
};
