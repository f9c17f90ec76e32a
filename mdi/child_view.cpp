#include "mdi/child_view.h"

#include <exdisp.h>

#include <string>

#include "common/com_server/variant.h"
#include "common/control/resolve_url.h"
#include "common/text_conversion.h"
#include "mdi/resource.h"
#include "mdi/view_messages.h"

using Microsoft::WRL::ComPtr;

namespace {

LONG Style(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }

void AddStyle(HWND window, LONG bits) { ::SetWindowLongW(window, GWL_STYLE, Style(window) | bits); }

}  // namespace

CChildView::CChildView() : CDialogImpl(IDD_CHILD_VIEW) {}

HRESULT CChildView::CreateViewWindow(HWND frame) { return Create(ComModule::Instance(), frame); }

void CChildView::AttachBrowser(HWND frame, LONG state) {
  const HWND window = Handle();
  if (window == nullptr) return;
  // Nothing of the browser's is checked: a view without one still moves, sizes and closes.
  ComPtr<IWebBrowser2> browser;
  if (SUCCEEDED(::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&browser)))) {
    RECT client = {};
    (void)::GetClientRect(window, &client);
    if (SUCCEEDED(browserSite_.CreateWindowIn(window, client, L"")) &&
        SUCCEEDED(browserSite_.Host(browser.Get(), L"browser", nullptr, nullptr)) &&
        SUCCEEDED(browserSite_.ConnectSite())) {
      (void)browserSite_.Activate();
    }
    browser_ = std::move(browser);
  }
  frameWindow_ = frame;
  AddStyle(window, WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
  // A shared icon (never destroyed), found once: looking it up again costs per view.
  static const HICON icon = ::LoadIconW(ComModule::Instance(), MAKEINTRESOURCEW(IDI_CHILD_VIEW));
  ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  const int show = state == kViewMaximized   ? SW_SHOWMAXIMIZED
                   : state == kViewMinimized ? SW_MINIMIZE
                                             : SW_SHOW;
  ::ShowWindow(window, show);
  Navigate(L"about:blank");
}

void CChildView::SetMaxCaption(VARIANT_BOOL value) {
  m_bMaxCaption = value;
  if (CurrentState() != kViewMaximized) return;
  const LONG style = Style(Handle());
  ::SetWindowLongW(Handle(), GWL_STYLE, value != 0 ? style | WS_CAPTION : style & ~WS_CAPTION);
  ShowMaximizedAgain();
}

void CChildView::ShowMaximizedAgain() {
  if (Handle() == nullptr) return;
  reshowing_ = true;
  ::ShowWindow(Handle(), SW_HIDE);
  ::ShowWindow(Handle(), SW_SHOWMAXIMIZED);
  reshowing_ = false;
}

HRESULT CChildView::OfferKey(MSG& message) {
  ComPtr<IOleInPlaceActiveObject> active;
  if (browser_ == nullptr || FAILED(browser_.As(&active))) return E_NOINTERFACE;
  return active->TranslateAccelerator(&message);
}

LONG CChildView::CurrentState() const {
  const LONG style = Handle() != nullptr ? Style(Handle()) : 0;
  if (style & WS_MAXIMIZE) return kViewMaximized;
  if (style & WS_MINIMIZE) return kViewMinimized;
  return kViewNormal;
}

void CChildView::Navigate(const wchar_t* url) {
  if (browser_ == nullptr) return;
  ScopedVariant target(url);
  ScopedVariant empty;
  // Navigation is the browser's own business: its outcome is not ours to report.
  (void)browser_->Navigate2(target.Pointer(), empty.Pointer(), empty.Pointer(), empty.Pointer(),
                            empty.Pointer());
}

bool CChildView::RectInFrame(RECT& rect) const {
  if (Handle() == nullptr || !::GetWindowRect(Handle(), &rect)) return false;
  const HWND frame = frameWindow_ != nullptr ? frameWindow_ : ::GetParent(Handle());
  RECT frame_rect = {};
  if (frame != nullptr) (void)::GetWindowRect(frame, &frame_rect);
  ::OffsetRect(&rect, -frame_rect.left, -frame_rect.top);
  return true;
}

void CChildView::MoveInFrame(const RECT& rect) {
  const HWND parent = ::GetParent(Handle());
  const HWND frame = frameWindow_ != nullptr ? frameWindow_ : parent;
  // Relative to the frame window's rectangle, into the parent's client coordinates.
  RECT frame_rect = {};
  if (frame != nullptr) (void)::GetWindowRect(frame, &frame_rect);
  POINT origin = {frame_rect.left, frame_rect.top};
  if (parent != nullptr) (void)::ScreenToClient(parent, &origin);
  ::MoveWindow(Handle(), rect.left + origin.x, rect.top + origin.y, rect.right - rect.left,
               rect.bottom - rect.top, TRUE);
}

STDMETHODIMP CChildView::get_Width(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  RECT rect = {};
  *pVal = RectInFrame(rect) ? rect.right - rect.left : -1;
  return S_OK;
}

STDMETHODIMP CChildView::put_Width(LONG newVal) {
  RECT rect = {};
  if (!RectInFrame(rect)) return S_OK;
  rect.right = rect.left + newVal;
  MoveInFrame(rect);
  return S_OK;
}

STDMETHODIMP CChildView::get_Height(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  RECT rect = {};
  *pVal = RectInFrame(rect) ? rect.bottom - rect.top : -1;
  return S_OK;
}

STDMETHODIMP CChildView::put_Height(LONG newVal) {
  RECT rect = {};
  if (!RectInFrame(rect)) return S_OK;
  rect.bottom = rect.top + newVal;
  MoveInFrame(rect);
  return S_OK;
}

STDMETHODIMP CChildView::get_Left(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  RECT rect = {};
  if (!RectInFrame(rect)) return E_FAIL;
  *pVal = rect.left;
  return S_OK;
}

STDMETHODIMP CChildView::put_Left(LONG newVal) {
  RECT rect = {};
  if (!RectInFrame(rect)) return S_OK;
  ::OffsetRect(&rect, newVal - rect.left, 0);
  MoveInFrame(rect);
  return S_OK;
}

STDMETHODIMP CChildView::get_Top(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  RECT rect = {};
  if (!RectInFrame(rect)) return E_FAIL;
  *pVal = rect.top;
  return S_OK;
}

STDMETHODIMP CChildView::put_Top(LONG newVal) {
  RECT rect = {};
  if (!RectInFrame(rect)) return S_OK;
  ::OffsetRect(&rect, 0, newVal - rect.top);
  MoveInFrame(rect);
  return S_OK;
}

STDMETHODIMP CChildView::get_Caption(BSTR* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = nullptr;
  std::wstring text;
  if (Handle() != nullptr) {
    text.resize(static_cast<size_t>(::GetWindowTextLengthW(Handle())) + 1);
    text.resize(static_cast<size_t>(
        ::GetWindowTextW(Handle(), text.data(), static_cast<int>(text.size()))));
  }
  *pVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *pVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CChildView::put_Caption(BSTR newVal) {
  if (Handle() == nullptr) return S_OK;
  // Captions go through the system's ANSI code page, as the page's other windows show them.
  const std::string text = WideToAnsi(newVal != nullptr ? newVal : L"");
  ::SetWindowTextA(Handle(), text.c_str());
  return S_OK;
}

STDMETHODIMP CChildView::get_Focus(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_bFocus;
  return S_OK;
}

STDMETHODIMP CChildView::put_Focus(VARIANT_BOOL newVal) {
  const ComPtr<IChildView> keep_alive(this);  // the page's OnSetFocus may close us
  if (m_bFocus == VARIANT_TRUE) {
    if (newVal == VARIANT_TRUE) return S_OK;
    m_bFocus = VARIANT_FALSE;
  } else {
    if (newVal == VARIANT_FALSE) return S_OK;
    m_bFocus = VARIANT_TRUE;
    // One on top already (a new view is) stays: raising it again repaints what it covers.
    if (Handle() != nullptr && ::GetWindow(Handle(), GW_HWNDFIRST) != Handle()) {
      ::BringWindowToTop(Handle());
    }
    if (frameWindow_ != nullptr) {
      ::SendMessageW(frameWindow_, WM_MDIVIEW_ACTIVATE, reinterpret_cast<WPARAM>(this), 0);
    }
  }
  if (Handle() != nullptr) {
    FLASHWINFO flash = {sizeof(flash), Handle(), FLASHW_CAPTION, 0, 0};
    (void)::FlashWindowEx(&flash);
  }
  return S_OK;
}

STDMETHODIMP CChildView::get_State(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = CurrentState();
  return S_OK;
}

STDMETHODIMP CChildView::put_State(LONG newVal) {
  if (Handle() == nullptr) return S_OK;
  // Posted: the page hears OnStateChange from the system command, after this call returns.
  switch (newVal) {
    case kViewMaximized:
      ::PostMessageW(Handle(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
      break;
    case kViewMinimized:
      ::PostMessageW(Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case kViewNormal:
      ::PostMessageW(Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
      ShowNormalWithCaption();
      break;
    default:
      ShowNormalWithCaption();
      break;
  }
  return S_OK;
}

STDMETHODIMP CChildView::get_URL(BSTR* pVal) { return m_bstrURL.CopyTo(pVal); }

STDMETHODIMP CChildView::put_URL(BSTR newVal) {
  HRESULT result = m_bstrURL.CopyFrom(newVal);
  if (FAILED(result) || browser_ == nullptr) return S_OK;
  std::wstring target = m_bstrURL.Text();
  // Without a bind host the text goes to the browser as it is.
  (void)ResolvePageUrl(clientSite_.Get(), target.c_str(), target);
  Navigate(target.c_str());
  return S_OK;
}

STDMETHODIMP CChildView::Close() {
  if (Handle() != nullptr) ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
  return S_OK;
}

void CChildView::ShowNormalWithCaption() {
  AddStyle(Handle(), WS_CAPTION);
  ::ShowWindow(Handle(), SW_SHOWNORMAL);
}

bool CChildView::FrameAllows(LONG state) {
  if (frameWindow_ == nullptr) return true;  // no frame to ask yet
  return ::SendMessageW(frameWindow_, WM_MDIVIEW_STATE, static_cast<WPARAM>(state),
                        reinterpret_cast<LPARAM>(this)) != 0;
}

LRESULT CChildView::OnClose(WPARAM, LPARAM) {
  // The frame destroys the window once the page's script has returned to the message loop.
  if (frameWindow_ != nullptr) {
    ::PostMessageW(frameWindow_, WM_MDIVIEW_CLOSE, reinterpret_cast<WPARAM>(this), 0);
  }
  return 0;
}

LRESULT CChildView::OnMouseActivate(WPARAM, LPARAM, bool& handled) {
  const ComPtr<IChildView> keep_alive(this);
  if (frameWindow_ != nullptr) {
    ::SendMessageW(frameWindow_, WM_MDIVIEW_ACTIVATE, reinterpret_cast<WPARAM>(this), 0);
  }
  (void)put_Focus(VARIANT_TRUE);
  if (frameWindow_ != nullptr) ::PostMessageW(frameWindow_, WM_SETFOCUS, 0, 0);
  handled = false;  // the dialog manager's answer is the message's
  return 0;
}

LRESULT CChildView::OnSize(WPARAM wParam, LPARAM lParam) {
  if (browserSite_.Handle() != nullptr) {
    ::MoveWindow(browserSite_.Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
  }
  // Maximised without a caption bar, the page fills the whole frame. Showing it again sizes it
  // again: that WM_SIZE must not start over.
  if (wParam == SIZE_MAXIMIZED && m_bMaxCaption == VARIANT_FALSE && !reshowing_) {
    ::SetWindowLongW(Handle(), GWL_STYLE, Style(Handle()) & ~WS_CAPTION);
    ShowMaximizedAgain();
  }
  return 0;
}

LRESULT CChildView::OnSysCommand(WPARAM wParam, LPARAM, bool& handled) {
  LONG requested = 0;
  // The system keeps the low four bits for itself (a caption double-click sends SC_MAXIMIZE + 2)
  // and carries out the command whatever they hold: each form is the same request.
  switch (wParam & 0xFFF0) {
    case SC_MINIMIZE:
      requested = kViewMinimized;
      break;
    case SC_MAXIMIZE:
      requested = kViewMaximized;
      break;
    case SC_RESTORE:
      requested = kViewNormal;
      break;
    default:
      handled = false;
      return 0;
  }
  const ComPtr<IChildView> keep_alive(this);  // the page's handler may close us
  if (!FrameAllows(requested) || Handle() == nullptr) return 0;
  if (requested == kViewNormal) {
    ShowNormalWithCaption();
    return 0;
  }
  handled = false;  // the system minimises or maximises
  return 0;
}

void CChildView::OnDestroy() {
  // The browser goes with the window: a view kept by script afterwards has no page to drive.
  browserSite_.Close();
  browser_.Reset();
}
