#pragma once

#include <windows.h>

#include <oleidl.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <string>

#include "common/container/control_site.h"
#include "common/window/window_impl.h"

// One control hosted in a window of ours, as a page hosts an OBJECT tag: the window, the site
// with its in-place frame, activation, resizing with the window, keyboard offered to the control,
// and an orderly close. Usable inside a DLL (a panel that shows a browser control in each of its
// views) as well as in a program.
//   CControlContainer container;
//   container.CreateWindowIn(parent, rect, L"view");
//   container.Host(browser.Get(), L"browser", nullptr, nullptr);
//   container.ConnectSite();  container.Activate();
//   ... container.Close();
// Runs on the thread's OLE apartment, which must outlive the hosted control.
class CControlContainer : private CWindowImpl {
 public:
  CControlContainer() = default;
  ~CControlContainer() override;

  // The container's window, hidden until Activate: a child of parent at position (the parent's
  // client coordinates), or with no parent a top-level window whose client area has position's
  // size.
  [[nodiscard]] HRESULT CreateWindowIn(HWND parent, const RECT& position, const wchar_t* title);
  // The object to host, with the site it will be given: name is its DISPLAYNAME ambient,
  // bind_host and page the site's SID_SBindHost service and container moniker (null for none).
  // An object without IOleObject is held but never sited or activated. E_UNEXPECTED while
  // another object is hosted.
  [[nodiscard]] HRESULT Host(IUnknown* object, const std::wstring& name,
                             Microsoft::WRL::ComPtr<IBindHost> bind_host,
                             Microsoft::WRL::ComPtr<IMoniker> page);
  // IOleObject::SetClientSite with our site; S_OK at once when it is connected already.
  [[nodiscard]] HRESULT ConnectSite();
  // Shows the window and activates the control in place in it (UI-active for OLEIVERB_UIACTIVATE);
  // S_OK at once when it is in place already.
  [[nodiscard]] HRESULT Activate(LONG verb = OLEIVERB_INPLACEACTIVATE);
  // Offers a keyboard message to the UI-active control; true when it used it (the caller must not
  // dispatch it then).
  bool TranslateAccelerator(MSG& message);
  // Deactivates and closes the control without saving, takes the site back and lets go of every
  // reference, so that the control and the site can go; the window is destroyed. Harmless when
  // nothing is hosted.
  void Close();

  using CWindowImpl::Handle;
  IUnknown* Object() const { return object_.Get(); }
  IOleObject* OleObject() const { return oleObject_.Get(); }
  CControlSite* Site() const { return site_.Get(); }
  bool IsControl() const { return oleObject_ != nullptr; }
  bool SiteConnected() const { return siteConnected_; }
  bool IsActive() const { return site_ && site_->InPlaceActive(); }

 private:
  BEGIN_MSG_MAP(CControlContainer)
  MESSAGE_HANDLER(WM_SIZE, OnSize)
  END_MSG_MAP()

  LRESULT OnSize(WPARAM, LPARAM, bool& handled);

  Microsoft::WRL::ComPtr<IUnknown> object_;
  Microsoft::WRL::ComPtr<IOleObject> oleObject_;
  Microsoft::WRL::ComPtr<CControlSite> site_;
  bool siteConnected_ = false;
};
