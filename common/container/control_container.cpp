#include "common/container/control_container.h"

using Microsoft::WRL::ComPtr;

namespace {

const WindowClass kContainerClass = {L"KoviraControlContainer", 0,
                                     reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)};

}  // namespace

CControlContainer::~CControlContainer() { Close(); }

HRESULT CControlContainer::CreateWindowIn(HWND parent, const RECT& position, const wchar_t* title) {
  const DWORD style = (parent ? WS_CHILD : WS_OVERLAPPEDWINDOW) | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  RECT frame = position;
  if (parent == nullptr) {
    frame = {CW_USEDEFAULT, CW_USEDEFAULT, position.right - position.left,
             position.bottom - position.top};
    RECT outer = {0, 0, frame.right, frame.bottom};
    (void)::AdjustWindowRectEx(&outer, style, FALSE, 0);  // without it the client area is smaller
    frame.right = frame.left + (outer.right - outer.left);
    frame.bottom = frame.top + (outer.bottom - outer.top);
  }
  return Create(kContainerClass, parent, frame, title, style);
}

HRESULT CControlContainer::Host(IUnknown* object, const std::wstring& name,
                                ComPtr<IBindHost> bind_host, ComPtr<IMoniker> page) {
  if (object == nullptr) return E_POINTER;
  if (object_) return E_UNEXPECTED;
  object_ = object;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&oleObject_)))) {
    site_ = MakeComObject<CControlSite>(name, std::move(bind_host), std::move(page));
    site_->SetObject(object);
    site_->SetWindow(Handle());
  }
  return S_OK;
}

HRESULT CControlContainer::ConnectSite() {
  if (!oleObject_) return object_ ? E_NOINTERFACE : E_UNEXPECTED;
  if (siteConnected_) return S_OK;
  const HRESULT result = oleObject_->SetClientSite(site_.Get());
  siteConnected_ = SUCCEEDED(result);
  return result;
}

HRESULT CControlContainer::Activate(LONG verb) {
  if (!oleObject_) return object_ ? E_NOINTERFACE : E_UNEXPECTED;
  if (Handle() == nullptr) return E_UNEXPECTED;
  if (site_->InPlaceActive() && verb != OLEIVERB_UIACTIVATE) return S_OK;
  ::ShowWindow(Handle(), SW_SHOWNOACTIVATE);
  RECT client = {};
  (void)::GetClientRect(Handle(), &client);  // our own live window
  return oleObject_->DoVerb(verb, nullptr, site_.Get(), 0, Handle(), &client);
}

bool CControlContainer::TranslateAccelerator(MSG& message) {
  if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
  IOleInPlaceActiveObject* active =
      site_ && site_->Frame() ? site_->Frame()->ActiveObject() : nullptr;
  return active != nullptr && active->TranslateAccelerator(&message) == S_OK;
}

LRESULT CControlContainer::OnSize(WPARAM, LPARAM lparam, bool& handled) {
  handled = false;
  if (site_ && site_->InPlaceObject()) {
    const RECT client = {0, 0, LOWORD(lparam), HIWORD(lparam)};
    (void)site_->InPlaceObject()->SetObjectRects(&client, &client);  // it keeps its size otherwise
  }
  return 0;
}

void CControlContainer::Close() {
  if (oleObject_) {
    // The control's answers change nothing now: it goes either way.
    if (site_->InPlaceObject()) (void)site_->InPlaceObject()->InPlaceDeactivate();
    (void)oleObject_->Close(OLECLOSE_NOSAVE);
    // The control holds the site and the site held the control: both links go.
    if (siteConnected_) (void)oleObject_->SetClientSite(nullptr);
  }
  if (site_) {
    site_->Detach();
    site_->SetWindow(nullptr);
    site_.Reset();
  }
  siteConnected_ = false;
  oleObject_.Reset();
  object_.Reset();
  Destroy();
}
