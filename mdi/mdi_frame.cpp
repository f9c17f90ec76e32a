#include "mdi/mdi_frame.h"

#include <algorithm>

#include "common/control/resolve_url.h"
#include "common/scoped_owner.h"
#include "common/scoped_selection.h"
#include "mdi/core/color_from_string.h"
#include "mdi/core/sort_moves.h"

using Microsoft::WRL::ComPtr;

namespace {

enum FrameEvent : DISPID {
  kOnCreate = 1,
  kOnStateChange = 2,
  kOnSetFocus = 3,
};

// OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
// OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST, as registered.
constexpr DWORD kMiscStatus = 131473;

constexpr PersistedProperty kProperties[] = {
    {L"_cx", PersistedProperty::Kind::ExtentWidth, 0, nullptr},
    {L"_cy", PersistedProperty::Kind::ExtentHeight, 0, nullptr},
    {L"BgColor", PersistedProperty::Kind::Dispatch, 3, &CLSID_MDIFrame},
    {L"DefaultWidth", PersistedProperty::Kind::Dispatch, 7, &CLSID_MDIFrame},
    {L"DefaultHeight", PersistedProperty::Kind::Dispatch, 8, &CLSID_MDIFrame},
    {L"Border", PersistedProperty::Kind::Dispatch, 12, &CLSID_MDIFrame},
    {L"BackImage", PersistedProperty::Kind::Dispatch, 13, &CLSID_MDIFrame},
};

// Messages a child reflects back to its parent (OCM_*), each standing for the one at its offset.
constexpr UINT kReflected[] = {
    WM_DRAWITEM,          WM_MEASUREITEM,    WM_DELETEITEM,      WM_VKEYTOITEM,  WM_CHARTOITEM,
    WM_COMPAREITEM,       WM_NOTIFY,         WM_COMMAND,         WM_HSCROLL,     WM_VSCROLL,
    WM_CTLCOLORMSGBOX,    WM_CTLCOLOREDIT,   WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN, WM_CTLCOLORDLG,
    WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC, WM_PARENTNOTIFY,
};

bool IsNavigationKey(WPARAM key) {
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      return true;
    default:
      return false;
  }
}

}  // namespace

CMDIFrame::CMDIFrame()
    : m_bstrBgColor(::SysAllocString(L"darkgray")), picture_([this] {
        if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, TRUE);
      }) {
  (void)AddConnectionPoint(DIID__IMDIFrameEvents);  // without memory, no sink can connect
}

const ControlClass& CMDIFrame::Description() {
  static const ControlClass description = {
      &CLSID_MDIFrame,
      &IID_IMDIFrame,
      &DIID__IMDIFrameEvents,
      kProperties,
      kMiscStatus,
      VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND,
      {400, 300},
      L"KoviraMDIFrame",
      CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS,
      reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
      0x300,
  };
  return description;
}

std::optional<LONG> CMDIFrame::IndexOf(const void* view) const {
  for (size_t i = 0; i < views_.size(); ++i) {
    if (views_[i].Get() == view) return static_cast<LONG>(i);
  }
  return std::nullopt;
}

HRESULT CMDIFrame::ViewAsDispatch(CChildView* view, VARIANT* result) {
  if (result == nullptr) return E_POINTER;
  ComPtr<IDispatch> dispatch;
  // A view without IDispatch leaves the caller's VARIANT as it was.
  if (view == nullptr || FAILED(view->QueryInterface(IID_PPV_ARGS(&dispatch)))) return S_OK;
  result->vt = VT_DISPATCH;
  result->pdispVal = dispatch.Detach();
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_View(LONG Index, VARIANT* pVal) {
  if (Index < 0 || static_cast<size_t>(Index) >= views_.size()) return E_INVALIDARG;
  return ViewAsDispatch(views_[static_cast<size_t>(Index)].Get(), pVal);
}

STDMETHODIMP CMDIFrame::get_Active(VARIANT* pVal) { return ViewAsDispatch(activeView_, pVal); }

STDMETHODIMP CMDIFrame::get_Count(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = static_cast<LONG>(views_.size());
  return S_OK;
}

STDMETHODIMP CMDIFrame::CreateView(BSTR bstrURL, BSTR bstrCaption, LONG nFlag) {
  // A view is a child of the frame's window: before in-place activation there is none to make
  // it in, and the page's call makes nothing.
  if (Window() == nullptr) return S_OK;
  const ComPtr<IMDIFrame> keep_alive(this);
  // Ours while we work on it: the page's OnSetFocus may close every view.
  const ComPtr<CChildView> view = MakeComObject<CChildView>();
  views_.push_back(view);
  if (SUCCEEDED(view->CreateViewWindow(Window()))) {
    // On top of the other views while it is hidden, where raising it costs nothing: the
    // focus it gets below would raise it anyway, at the cost of repainting what it covers.
    ::SetWindowPos(view->Window(), HWND_TOP, nextPosition_.x, nextPosition_.y, m_nDefaultWidth,
                   m_nDefaultHeight, SWP_NOACTIVATE);
  }
  view->SetClientSite(ClientSite());
  view->AttachBrowser(Window(), nFlag);
  (void)view->put_Caption(bstrCaption);
  (void)view->put_URL(bstrURL);
  (void)view->put_Focus(VARIANT_TRUE);  // OnSetFocus(index)
  // A view the page closed meanwhile is not announced.
  if (const auto index = IndexOf(view.Get())) (void)Fire(kOnCreate, *index);

  const int step = ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION);
  nextPosition_.x += step;
  nextPosition_.y += step;
  RECT client = {};
  if (Window() != nullptr) (void)::GetClientRect(Window(), &client);
  if (client.right < m_nDefaultWidth + nextPosition_.x ||
      client.bottom < m_nDefaultHeight + nextPosition_.y) {
    nextPosition_ = {0, 0};
  }
  return S_OK;
}

STDMETHODIMP CMDIFrame::Close(INT nIndex) {
  if (nIndex < 0 || static_cast<size_t>(nIndex) >= views_.size()) return E_INVALIDARG;
  // The view asks us back with WM_MDIVIEW_CLOSE once the page's script has returned.
  const HWND window = views_[static_cast<size_t>(nIndex)]->Window();
  if (window != nullptr) ::PostMessageW(window, WM_CLOSE, 0, 0);
  return S_OK;
}

STDMETHODIMP CMDIFrame::CloseAll() {
  const ComPtr<IMDIFrame> keep_alive(this);
  DestroyViews();
  activeView_ = nullptr;
  nextPosition_ = {0, 0};
  return S_OK;
}

void CMDIFrame::OnTeardown() {
  DestroyViews();
  // The picture stays for a window made again (in-place activation after deactivation); a
  // download has nothing to draw into.
  picture_.Stop();
}

void CMDIFrame::DestroyViews() {
  while (!views_.empty()) {
    const ComPtr<CChildView> view = views_.front();
    views_.erase(views_.begin());
    if (activeView_ == view.Get()) activeView_ = nullptr;
    view->DestroyViewWindow();
  }
}

STDMETHODIMP CMDIFrame::Sort(LONG nMethod) {
  const ComPtr<IMDIFrame> keep_alive(this);
  const auto views = views_;  // moving a view runs its messages
  RECT client = {};
  if (Window() != nullptr) (void)::GetClientRect(Window(), &client);
  const SortMetrics metrics = {
      client.right,
      client.bottom,
      ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION),
      ::GetSystemMetrics(SM_CXMINIMIZED),
      ::GetSystemMetrics(SM_CYMINIMIZED),
      m_nDefaultWidth,
      m_nDefaultHeight,
  };
  std::vector<ViewState> states;
  for (const auto& view : views) states.push_back(static_cast<ViewState>(view->CurrentState()));
  const auto active = IndexOf(activeView_);
  // One repaint for the whole arrangement instead of one per view moved (a hidden frame stays
  // hidden: turning redrawing back on shows a window).
  const HWND frame = Window() != nullptr && ::IsWindowVisible(Window()) ? Window() : nullptr;
  if (frame != nullptr) ::SendMessageW(frame, WM_SETREDRAW, FALSE, 0);
  for (const SortMove& move :
       SortMoves(nMethod, metrics, states,
                 active ? std::optional<size_t>(static_cast<size_t>(*active)) : std::nullopt)) {
    const HWND window = views[move.view]->Window();
    if (window == nullptr) continue;
    if (move.restore) {
      ::SetWindowLongW(window, GWL_STYLE, ::GetWindowLongW(window, GWL_STYLE) | WS_CAPTION);
      ::ShowWindow(window, SW_SHOWNORMAL);
    }
    // Moved and brought to the top in one step: as MoveWindow then BringWindowToTop, at half
    // the window manager's work.
    ::SetWindowPos(window, HWND_TOP, move.place.x, move.place.y, move.place.width,
                   move.place.height, 0);
  }
  if (frame != nullptr) {
    ::SendMessageW(frame, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
  }
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_BgColor(BSTR* pVal) { return m_bstrBgColor.CopyTo(pVal); }

STDMETHODIMP CMDIFrame::put_BgColor(BSTR newVal) {
  (void)m_bstrBgColor.CopyFrom(newVal);  // out of memory keeps the old text: puts never fail
  backgroundColor_ = ColorFromString(m_bstrBgColor.Get(), InvalidColor::kAllBits);
  if (Window() != nullptr) ::InvalidateRect(Window(), nullptr, FALSE);
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_BackImage(BSTR* pVal) { return m_bstrBackImage.CopyTo(pVal); }

STDMETHODIMP CMDIFrame::put_BackImage(BSTR newVal) {
  (void)m_bstrBackImage.CopyFrom(newVal);  // as BgColor
  if (m_bstrBackImage.Empty()) {
    picture_.Clear();  // repaints with erasing
    return S_OK;
  }
  // Relative to the page; without a bind host only an absolute URL can be fetched.
  ComPtr<IBindHost> host;
  (void)PageBindHost(ClientSite(), host);
  // A download that cannot start leaves the picture as it was: the page is not told.
  (void)picture_.Load(m_bstrBackImage.Text(), host.Get());
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_DefaultWidth(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_nDefaultWidth;
  return S_OK;
}

STDMETHODIMP CMDIFrame::put_DefaultWidth(LONG newVal) {
  m_nDefaultWidth = newVal;
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_DefaultHeight(LONG* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_nDefaultHeight;
  return S_OK;
}

STDMETHODIMP CMDIFrame::put_DefaultHeight(LONG newVal) {
  m_nDefaultHeight = newVal;
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_MaxCaption(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_bMaxCaption;
  return S_OK;
}

STDMETHODIMP CMDIFrame::put_MaxCaption(VARIANT_BOOL newVal) {
  if (newVal == m_bMaxCaption) return S_OK;
  m_bMaxCaption = newVal;
  const auto views = views_;  // showing a window again runs its messages
  for (const auto& view : views) view->SetMaxCaption(newVal);
  return S_OK;
}

STDMETHODIMP CMDIFrame::get_Border(VARIANT_BOOL* pVal) {
  if (pVal == nullptr) return E_POINTER;
  *pVal = m_bBorder;
  return S_OK;
}

STDMETHODIMP CMDIFrame::put_Border(VARIANT_BOOL newVal) {
  m_bBorder = newVal;
  if (Window() != nullptr) {
    ::InvalidateRect(Window(), nullptr, FALSE);
    ::UpdateWindow(Window());
  }
  return S_OK;
}

LRESULT CMDIFrame::OnViewActivate(WPARAM wParam, LPARAM) {
  // Only a view of our list becomes active: the pointer comes from whoever sent the message.
  const auto index = IndexOf(reinterpret_cast<const void*>(wParam));
  if (!index) return 0;
  const ComPtr<IMDIFrame> keep_alive(this);
  const auto views = views_;
  activeView_ = views[static_cast<size_t>(*index)].Get();
  for (const auto& view : views) {
    if (view.Get() != activeView_) (void)view->put_Focus(VARIANT_FALSE);
  }
  (void)Fire(kOnSetFocus, *index);
  return 0;
}

LRESULT CMDIFrame::OnViewClose(WPARAM wParam, LPARAM) {
  const ComPtr<IMDIFrame> keep_alive(this);
  if (const auto index = IndexOf(reinterpret_cast<const void*>(wParam))) {
    const ComPtr<CChildView> view = views_[static_cast<size_t>(*index)];
    views_.erase(views_.begin() + *index);
    if (activeView_ == view.Get()) activeView_ = nullptr;
    view->DestroyViewWindow();
  }
  if (views_.empty()) {
    activeView_ = nullptr;
  } else {
    const ComPtr<CChildView> last = views_.back();
    (void)last->put_Focus(VARIANT_TRUE);
  }
  return 0;
}

LRESULT CMDIFrame::OnViewState(WPARAM wParam, LPARAM lParam) {
  // The answer is the message's result, never written through anything the sender gave.
  const auto index = IndexOf(reinterpret_cast<const void*>(lParam));
  if (!index) return 1;
  const ComPtr<IMDIFrame> keep_alive(this);
  ScopedVariant answer;
  (void)FireForAnswer(answer, kOnStateChange, *index, static_cast<LONG>(wParam));
  return EventAllows(answer.Get()) ? 1 : 0;
}

LRESULT CMDIFrame::OnViewFocus(WPARAM wParam, LPARAM) {
  const ComPtr<IMDIFrame> keep_alive(this);
  const LONG index =
      IndexOf(reinterpret_cast<const void*>(wParam)).value_or(static_cast<LONG>(views_.size()));
  (void)Fire(kOnSetFocus, index);
  return 0;
}

LRESULT CMDIFrame::OnSize(WPARAM, LPARAM, bool& handled) {
  // A maximised view fills the new client area.
  const auto views = views_;
  for (const auto& view : views) {
    if (view->CurrentState() == kViewMaximized) view->ShowMaximizedAgain();
  }
  handled = false;
  return 0;
}

LRESULT CMDIFrame::OnReflected(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  const UINT original = message - OCM__BASE;
  if (std::find(std::begin(kReflected), std::end(kReflected), original) == std::end(kReflected)) {
    handled = false;
    return 0;
  }
  return ::DefWindowProcW(Window(), original, wParam, lParam);
}

HRESULT CMDIFrame::OnDraw(HDC dc, const RECT& bounds) {
  // A BgColor that names no colour shows the window colour, as the window class would.
  const COLORREF colour = backgroundColor_ == static_cast<uint32_t>(InvalidColor::kAllBits)
                              ? ::GetSysColor(COLOR_WINDOW)
                              : static_cast<COLORREF>(backgroundColor_);
  const ScopedGdiObject brush(::CreateSolidBrush(colour));
  const ScopedSelection selected(dc, brush.Get());
  RECT outline = bounds;
  // Without a border the outline falls outside the window, where nobody sees it.
  if (m_bBorder != VARIANT_TRUE) ::InflateRect(&outline, 3, 3);
  ::Rectangle(dc, outline.left, outline.top, outline.right, outline.bottom);
  // Into the DC we are given, so that a print or a metafile of the control has it too.
  if (!m_bstrBackImage.Empty() && picture_.Bitmap() != nullptr) {
    picture_.Draw(dc, {bounds.left, bounds.top});
  }
  return S_OK;
}

HRESULT CMDIFrame::OnTranslateAccelerator(MSG* message) {
  if (message->message != WM_KEYDOWN && message->message != WM_KEYUP) {
    return ControlCore::OnTranslateAccelerator(message);
  }
  // The page's own scrolling keys stay with it; the container is not asked.
  if (IsNavigationKey(message->wParam)) return S_FALSE;
  const ComPtr<CChildView> active(activeView_);  // the browser may run the page's code
  if (message->wParam == VK_TAB) {
    if (active == nullptr) return S_OK;
    const HRESULT used = active->OfferKey(*message);
    if (used == S_OK || used == E_NOINTERFACE) return S_OK;
  } else if (active != nullptr) {
    (void)active->OfferKey(*message);  // offered; the container still sees the key
  }
  return ControlCore::OnTranslateAccelerator(message);
}
