#pragma once

#include <windows.h>

#include <exdisp.h>
#include <oleidl.h>
#include <wrl/client.h>

#include "common/com_server/com_module.h"
#include "common/com_server/type_info_dispatch.h"
#include "common/container/control_container.h"
#include "common/scoped_bstr.h"
#include "common/window/dialog_impl.h"
#include "mdi_typelib.h"

// One web page inside the frame: a captioned child dialog (template IDD_CHILD_VIEW) whose client
// area the system's WebBrowser control fills. Only CMDIFrame makes views; it holds one reference
// on each and destroys the window when the view leaves its list. Script reaches a view through
// IChildView, and may keep it after its window has gone.
class CChildView final : public ServerObject<TypeInfoDispatch<IChildView>>, private CDialogImpl {
 public:
  CChildView();

  // The window, hidden, as a child of the frame's window.
  [[nodiscard]] HRESULT CreateViewWindow(HWND frame);
  // The frame control's client site: relative URLs resolve against its page.
  void SetClientSite(IOleClientSite* site) { clientSite_ = site; }
  // Hosts a new browser in the window, remembers the frame that hears this view's messages,
  // shows the window in state (a ViewState; anything else is normal) and navigates to
  // "about:blank". A browser that cannot be made leaves a view without a page.
  void AttachBrowser(HWND frame, LONG state);
  // The frame's MaxCaption: a maximised window gains or loses its caption bar at once.
  void SetMaxCaption(VARIANT_BOOL value);
  // Destroys the window and lets go of the browser; harmless when there is no window.
  void DestroyViewWindow() { Destroy(); }
  // Hides the window and shows it maximised again, so that a new layout of the frame or a
  // changed caption takes effect.
  void ShowMaximizedAgain();
  // The browser's answer (its IOleInPlaceActiveObject) to a keyboard message; E_NOINTERFACE
  // when there is no browser or it has no such interface.
  HRESULT OfferKey(MSG& message);

  HWND Window() const { return Handle(); }
  // A ViewState from the window's style; normal without a window.
  LONG CurrentState() const;

  // IChildView
  STDMETHODIMP get_Width(LONG* pVal) override;
  STDMETHODIMP put_Width(LONG newVal) override;
  STDMETHODIMP get_Caption(BSTR* pVal) override;
  STDMETHODIMP put_Caption(BSTR newVal) override;
  STDMETHODIMP get_Focus(VARIANT_BOOL* pVal) override;
  STDMETHODIMP put_Focus(VARIANT_BOOL newVal) override;
  STDMETHODIMP get_Height(LONG* pVal) override;
  STDMETHODIMP put_Height(LONG newVal) override;
  STDMETHODIMP get_Left(LONG* pVal) override;
  STDMETHODIMP put_Left(LONG newVal) override;
  STDMETHODIMP get_Top(LONG* pVal) override;
  STDMETHODIMP put_Top(LONG newVal) override;
  STDMETHODIMP get_State(LONG* pVal) override;
  STDMETHODIMP put_State(LONG newVal) override;
  STDMETHODIMP get_URL(BSTR* pVal) override;
  STDMETHODIMP put_URL(BSTR newVal) override;
  STDMETHODIMP Close() override;

 private:
  ~CChildView() override = default;
  // The window goes while the object is whole.
  void FinalRelease() override { Destroy(); }

  BEGIN_MSG_MAP(CChildView)
  MESSAGE_HANDLER(WM_CLOSE, OnClose)
  MESSAGE_HANDLER(WM_MOUSEACTIVATE, OnMouseActivate)
  MESSAGE_HANDLER(WM_SIZE, OnSize)
  MESSAGE_HANDLER(WM_SYSCOMMAND, OnSysCommand)
  CHAIN_MSG_MAP(CDialogImpl)
  END_MSG_MAP()

  LRESULT OnClose(WPARAM, LPARAM);
  LRESULT OnMouseActivate(WPARAM, LPARAM, bool& handled);
  LRESULT OnSize(WPARAM, LPARAM);
  LRESULT OnSysCommand(WPARAM, LPARAM, bool& handled);
  void OnDestroy() override;

  void Navigate(const wchar_t* url);
  // Asks the frame (and through it the page) whether the window may take state.
  bool FrameAllows(LONG state);
  void ShowNormalWithCaption();
  // The window's rectangle relative to the frame window's; false without a window.
  bool RectInFrame(RECT& rect) const;
  // Moves the window to rect, given relative to the frame window's rectangle.
  void MoveInFrame(const RECT& rect);

  HWND frameWindow_ = nullptr;
  Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
  CControlContainer browserSite_;
  Microsoft::WRL::ComPtr<IOleClientSite> clientSite_;
  VARIANT_BOOL m_bFocus = VARIANT_FALSE;
  VARIANT_BOOL m_bMaxCaption = VARIANT_FALSE;
  ScopedBstr m_bstrURL;
  bool reshowing_ = false;  // inside our own hide-and-show: its WM_SIZE must not start another
};
