#pragma once

#include <windows.h>

#include <olectl.h>
#include <wrl/client.h>

#include <cstdint>
#include <optional>
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
#include "mdi/background_picture.h"
#include "mdi/child_view.h"
#include "mdi/view_messages.h"
#include "mdi_typelib.h"

// The multiple-document panel: a windowed control that keeps any number of views (CChildView),
// each a captioned child window showing one web page. The page opens views with CreateView,
// reaches them by their position in creation order, and hears of activation, creation and the
// user's state requests through _IMDIFrameEvents.
class CMDIFrame final
    : public ControlObject<CMDIFrame, TypeInfoDispatch<IMDIFrame>, ViewObjectImpl,
                           OleInPlaceObjectImpl, OleInPlaceActiveObjectImpl, OleControlImpl,
                           OleObjectImpl, PersistStreamInitImpl, SupportErrorInfoImpl,
                           ConnectionPointContainer, PropertyPagesImpl, QuickActivateImpl,
                           PersistStorageImpl, DataObjectImpl, ProvideClassInfoImpl,
                           ObjectSafetyImpl, PersistPropertyBagImpl> {
 public:
  CMDIFrame();

  static const ControlClass& Description();

  // IMDIFrame
  STDMETHODIMP get_View(LONG Index, VARIANT* pVal) override;
  STDMETHODIMP CreateView(BSTR bstrURL, BSTR bstrCaption, LONG nFlag) override;
  STDMETHODIMP get_BgColor(BSTR* pVal) override;
  STDMETHODIMP put_BgColor(BSTR newVal) override;
  STDMETHODIMP get_Active(VARIANT* pVal) override;
  STDMETHODIMP get_Count(LONG* pVal) override;
  STDMETHODIMP Sort(LONG nMethod) override;
  STDMETHODIMP get_DefaultWidth(LONG* pVal) override;
  STDMETHODIMP put_DefaultWidth(LONG newVal) override;
  STDMETHODIMP get_DefaultHeight(LONG* pVal) override;
  STDMETHODIMP put_DefaultHeight(LONG newVal) override;
  STDMETHODIMP Close(INT nIndex) override;
  STDMETHODIMP CloseAll() override;
  STDMETHODIMP get_MaxCaption(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_MaxCaption(VARIANT_BOOL newVal) override;
  STDMETHODIMP get_Border(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_Border(VARIANT_BOOL newVal) override;
  STDMETHODIMP get_BackImage(BSTR* pVal) override;
  STDMETHODIMP put_BackImage(BSTR newVal) override;

 private:
  ~CMDIFrame() override = default;

  BEGIN_MSG_MAP(CMDIFrame)
  MESSAGE_HANDLER(WM_MDIVIEW_ACTIVATE, OnViewActivate)
  MESSAGE_HANDLER(WM_MDIVIEW_CLOSE, OnViewClose)
  MESSAGE_HANDLER(WM_MDIVIEW_STATE, OnViewState)
  MESSAGE_HANDLER(WM_MDIVIEW_FOCUS, OnViewFocus)
  MESSAGE_HANDLER(WM_SIZE, OnSize)
  MESSAGE_HANDLER(WM_ERASEBKGND, OnEraseBackground)
  MESSAGE_RANGE_HANDLER(OCM__BASE, OCM__BASE + WM_PARENTNOTIFY, OnReflected)
  END_MSG_MAP()

  LRESULT OnViewActivate(WPARAM, LPARAM);
  LRESULT OnViewClose(WPARAM, LPARAM);
  LRESULT OnViewState(WPARAM, LPARAM);
  LRESULT OnViewFocus(WPARAM, LPARAM);
  LRESULT OnSize(WPARAM, LPARAM, bool& handled);
  LRESULT OnEraseBackground(WPARAM, LPARAM) { return 0; }  // OnDraw paints every pixel
  LRESULT OnReflected(UINT, WPARAM, LPARAM, bool& handled);

  HRESULT OnDraw(HDC dc, const RECT& bounds) override;
  HRESULT OnTranslateAccelerator(MSG* message) override;
  // The views and the picture go with the frame's window (or with the object, when it never had
  // one); a download still running is aborted.
  void OnTeardown() override;

  // A view's position in the list; nothing for a pointer that is not one of ours.
  std::optional<LONG> IndexOf(const void* view) const;
  HRESULT ViewAsDispatch(CChildView* view, VARIANT* result);
  // Destroys every view's window and lets go of the list's references, first to last.
  void DestroyViews();

  // In creation order; each entry is the list's one reference.
  std::vector<Microsoft::WRL::ComPtr<CChildView>> views_;
  CChildView* activeView_ = nullptr;  // not counted; always one of views_ or null
  POINT nextPosition_ = {0, 0};       // where CreateView puts the next view
  LONG m_nDefaultWidth = 300;
  LONG m_nDefaultHeight = 200;
  VARIANT_BOOL m_bMaxCaption = VARIANT_FALSE;
  VARIANT_BOOL m_bBorder = VARIANT_TRUE;
  ScopedBstr m_bstrBgColor;
  // From m_bstrBgColor; InvalidColor::kAllBits when it names no colour.
  uint32_t backgroundColor_ = 0xA9A9A9;  // darkgray
  ScopedBstr m_bstrBackImage;
  CBackgroundPicture picture_;
};
