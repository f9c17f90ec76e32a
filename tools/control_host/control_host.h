#pragma once

#include <windows.h>

#include <oleidl.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "common/container/control_container.h"
#include "tools/control_host/bind_host.h"
#include "tools/control_host/control_loader.h"
#include "tools/control_host/event_sink.h"
#include "tools/control_host/property_bag.h"

// One ActiveX control hosted the way a browser hosts an OBJECT tag: created, sited, given its
// PARAMs, in place in a window of ours on demand, its events heard, and closed so that its
// module can unload. An object that is no control (no IOleObject) is created, initialized and
// heard the same way, but never sited or activated.
//   CControlHost host;
//   host.SetPageUrl(L"http://server/app/page.html");
//   host.SetParam(L"XMLUrl", L"x.xml");
//   if (SUCCEEDED(host.Create(L"Velmar.Velmar")) && SUCCEEDED(host.Activate())) { ... }
//   host.Close();
// Runs on the thread's OLE apartment (OleInitialize), which must outlive the host.
class CControlHost {
 public:
  // How the object was initialized.
  enum class Initialization {
    kNone,             // it has neither IPersistPropertyBag nor IPersistStreamInit
    kPropertyBagLoad,  // IPersistPropertyBag::Load from the PARAMs
    kPropertyBagNew,   // IPersistPropertyBag::InitNew (there were no PARAMs)
    kStreamNew,        // IPersistStreamInit::InitNew (PARAMs, if any, unread)
  };

  CControlHost();
  CControlHost(const CControlHost&) = delete;
  CControlHost& operator=(const CControlHost&) = delete;
  ~CControlHost() { Close(); }

  // Settings, read by Create.
  // The page relative names resolve against; default: the current folder's file: URL.
  void SetPageUrl(const std::wstring& url) { pageUrl_ = url; }
  // Without a bind host the site offers no SID_SBindHost service and no container moniker.
  void SetBindHost(bool enabled) { bindHostEnabled_ = enabled; }
  // The control's name on the page: its DISPLAYNAME ambient and its window's title.
  void SetItemName(const std::wstring& name) { itemName_ = name; }
  void SetParam(const std::wstring& name, const std::wstring& value) { params_->Set(name, value); }
  // Makes the host window a child of parent instead of a top-level window.
  void SetParentWindow(HWND parent) { parent_ = parent; }
  // Called for each event the object raises, after it is recorded; its answer is the event's
  // result. Without a handler every event is answered with VT_EMPTY.
  void SetEventHandler(CEventSink::Handler handler) { handler_ = std::move(handler); }
  // Whether events are kept for Events(); on by default.
  void SetRecordEvents(bool record) { recordEvents_ = record; }

  // Creates the object control names (a ProgID, "{CLSID}" or a DLL path; see CControlLoader),
  // then sites and initializes it. On failure nothing stays created and Error() says why.
  [[nodiscard]] HRESULT Create(const std::wstring& control);
  // The same for an object made elsewhere; clsid (may be CLSID_NULL) helps find its type library.
  [[nodiscard]] HRESULT HostObject(IUnknown* object, REFCLSID clsid);
  // In-place activation in the host window, which is shown. E_NOINTERFACE for an object that is
  // no control; S_OK at once when the control is active already.
  [[nodiscard]] HRESULT Activate();
  // Disconnects the events, deactivates and closes the control without saving, takes the site
  // back and lets everything go (recorded events too: they may hold the control's objects), then
  // frees a DLL the object came from once it can unload. Harmless when nothing is hosted.
  void Close();
  // Runs the message loop (see PumpMessages); keys go to the UI-active control first.
  void Pump(DWORD milliseconds, const std::function<bool()>& stop = nullptr);

  IUnknown* Object() const { return object_.Get(); }
  Microsoft::WRL::ComPtr<IDispatch> Dispatch() const;
  const CLSID& Clsid() const { return clsid_; }
  // The object's coclass description; null when none was found.
  ITypeInfo* ClassInfo() const { return classInfo_.Get(); }
  bool IsControl() const { return container_.IsControl(); }
  bool IsActive() const { return container_.IsActive(); }
  Initialization HowInitialized() const { return initialization_; }
  // Whether the object listens to events through us.
  bool EventsConnected() const { return sink_ && sink_->Connected(); }
  HWND Window() const { return container_.Handle(); }
  CControlSite* Site() const { return container_.Site(); }
  CBindHost* BindHost() const { return bindHost_.Get(); }
  const std::vector<FiredEvent>& Events() const { return events_; }
  void ClearEvents() { events_.clear(); }
  // Why the last Create, HostObject or Activate failed.
  const std::wstring& Error() const { return error_; }

 private:
  HRESULT Fail(HRESULT result, const std::wstring& what);
  HRESULT PrepareBindHost();
  HRESULT SetUp(IUnknown* object, REFCLSID clsid);
  HRESULT Initialize();
  void ConnectEvents();
  void OnEvent(const FiredEvent& event, ScopedVariant& answer);

  std::wstring pageUrl_;
  bool bindHostEnabled_ = true;
  std::wstring itemName_ = L"control";
  HWND parent_ = nullptr;
  CEventSink::Handler handler_;
  bool recordEvents_ = true;

  Microsoft::WRL::ComPtr<CPropertyBag> params_;
  CControlLoader loader_;  // before the objects: its DLL must outlive them
  CControlContainer container_;
  Microsoft::WRL::ComPtr<CBindHost> bindHost_;
  Microsoft::WRL::ComPtr<IUnknown> object_;
  Microsoft::WRL::ComPtr<ITypeInfo> classInfo_;
  Microsoft::WRL::ComPtr<CEventSink> sink_;
  CLSID clsid_ = CLSID_NULL;
  Initialization initialization_ = Initialization::kNone;
  std::vector<FiredEvent> events_;
  std::wstring error_;
};
