#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/com_server/connection_point.h"
#include "common/com_server/type_info_dispatch.h"
#include "common/control/control_object.h"
#include "common/control/data_object_impl.h"
#include "common/control/object_safety_impl.h"
#include "common/control/ole_control_impl.h"
#include "common/control/ole_in_place_active_object_impl.h"
#include "common/control/ole_in_place_object_impl.h"
#include "common/control/ole_object_impl.h"
#include "common/control/persist_property_bag_impl.h"
#include "common/control/persist_storage_impl.h"
#include "common/control/persist_stream_init_impl.h"
#include "common/control/property_pages_impl.h"
#include "common/control/provide_class_info_impl.h"
#include "common/control/quick_activate_impl.h"
#include "common/control/support_error_info_impl.h"
#include "common/control/view_object_impl.h"
#include "common/scoped_bstr.h"
#include "common/window/message_map.h"
#include "probe_control_typelib.h"

// A control with every standard interface and a property table of all kinds, recording what
// the framework asks of it.
class CProbeControl final
    : public ControlObject<CProbeControl, TypeInfoDispatch<IProbeControl>, ViewObjectImpl,
                           OleInPlaceObjectImpl, OleInPlaceActiveObjectImpl, OleControlImpl,
                           OleObjectImpl, PersistStreamInitImpl, SupportErrorInfoImpl,
                           ConnectionPointContainer, PropertyPagesImpl, QuickActivateImpl,
                           PersistStorageImpl, DataObjectImpl, ProvideClassInfoImpl,
                           ObjectSafetyImpl, PersistPropertyBagImpl> {
 public:
  CProbeControl();
  static const ControlClass& Description();

  STDMETHODIMP get_Color(BSTR* value) override;
  STDMETHODIMP put_Color(BSTR value) override;
  STDMETHODIMP get_Width(LONG* value) override;
  STDMETHODIMP put_Width(LONG value) override;
  STDMETHODIMP get_Height(LONG* value) override;
  STDMETHODIMP put_Height(LONG value) override;
  STDMETHODIMP get_Border(VARIANT_BOOL* value) override;
  STDMETHODIMP put_Border(VARIANT_BOOL value) override;
  STDMETHODIMP get_Image(BSTR* value) override;
  STDMETHODIMP put_Image(BSTR value) override;

  // "put:<dispid>" and "draw" entries, in order.
  std::vector<std::wstring> calls;
  // A put of this width fails, as a control may refuse a value.
  static constexpr LONG kRefusedWidth = -12345;
  // A get of this width fails.
  bool failGets = false;
  // "destroy" (its window's WM_DESTROY) and "teardown" entries; outlives the control.
  std::shared_ptr<std::vector<std::wstring>> journal =
      std::make_shared<std::vector<std::wstring>>();

 protected:
  BEGIN_MSG_MAP(CProbeControl)
  MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
  END_MSG_MAP()

  HRESULT OnDraw(HDC dc, const RECT& bounds) override;
  void OnTeardown() override { journal->push_back(L"teardown"); }
  LRESULT OnDestroy(WPARAM, LPARAM, bool& handled) {
    journal->push_back(L"destroy");
    handled = false;
    return 0;
  }

 private:
  ~CProbeControl() override = default;

  ScopedBstr color_;
  LONG width_ = 300;
  LONG height_ = 200;
  VARIANT_BOOL border_ = VARIANT_TRUE;
  ScopedBstr image_;
};
