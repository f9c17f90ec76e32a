#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <span>

#include "common/screen_units.h"
#include "common/window/window_impl.h"

// One property a control keeps through its stream, storage and property bag, in table order.
struct PersistedProperty {
  enum class Kind {
    ExtentWidth,   // the extent's width in HIMETRIC, as a raw 32-bit value
    ExtentHeight,  // the extent's height in HIMETRIC
    Dispatch,      // a property read and written through the control's own IDispatch
  };
  const wchar_t* name;
  Kind kind;
  DISPID dispid;      // Dispatch rows only
  const CLSID* page;  // the property page that edits it; null for none
};

// What the framework needs to know of a control class.
struct ControlClass {
  const CLSID* clsid;
  const IID* dispatch;  // the control's dual interface
  const IID* events;    // its default outgoing dispinterface
  std::span<const PersistedProperty> properties;
  DWORD miscStatus;    // OLEMISC_* as registered
  DWORD viewStatus;    // VIEWSTATUS_* answered by IViewObjectEx
  SIZE naturalPixels;  // the extent a new control starts with
  const wchar_t* windowClass;
  UINT windowClassStyle;
  HBRUSH background;    // window class brush (a COLOR_* + 1 value is allowed), or null
  DWORD streamVersion;  // written first in a saved stream; a later version is refused on load
};

// State and behaviour shared by the interface implementations of an ActiveX control: its sites,
// extent, window and activation. Every implementation derives from it virtually, so one control
// object holds one core; the control object (ControlObject) supplies its class and window messages.
//
// The control is window-only: its window is created on in-place activation as a child of the
// site's window, and destroyed on deactivation.
class ControlCore {
 public:
  ControlCore(const ControlCore&) = delete;
  ControlCore& operator=(const ControlCore&) = delete;

  HWND Window() const { return window_.Handle(); }
  IOleClientSite* ClientSite() const { return clientSite_.Get(); }
  SIZEL Extent() const { return extent_; }

 protected:
  ControlCore() = default;
  virtual ~ControlCore();

  const ControlClass& Class() const { return *class_; }
  // Called once by the control object's constructor: the class, and the extent it starts with.
  void Configure(const ControlClass& description);
  // The object's controlling IUnknown, for QueryInterface on itself; not add-ref'd.
  virtual IUnknown* ControlUnknown() = 0;
  // The control's own window messages; true when handled, with the result in lResult.
  virtual bool ProcessMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  // Paints the control into dc within bounds (device units).
  virtual HRESULT OnDraw(HDC dc, const RECT& bounds) {
    (void)dc;
    (void)bounds;
    return S_OK;
  }
  // A keystroke offered while the control is UI-active; S_OK when it was used.
  virtual HRESULT OnTranslateAccelerator(MSG* message);
  // Where the control ends its work: aborts transfers, destroys child windows, lets go of what it
  // holds. Runs with the object whole, once per window: when the window is destroyed (by the
  // control or by the container, whichever comes first), or when the last reference goes while
  // the window still lives or there never was one.
  virtual void OnTeardown() {}
  // From the control object's final release: the window goes, and the work ends.
  void EndWork();

  // IOleObject::SetClientSite.
  HRESULT SetSite(IOleClientSite* site);
  // Becomes in-place active (creating the window), then UI-active when asked.
  HRESULT InPlaceActivate(LONG verb);
  HRESULT InPlaceDeactivate();
  HRESULT UIDeactivate();
  HRESULT SetObjectRects(const RECT* position, const RECT* clip);
  HRESULT SetExtent(const SIZEL& extent);

  // Tells the view and OLE advise sinks that the picture changed, and repaints the window.
  void FireViewChange();

  // The control's dispatch interface, for its property table.
  HRESULT Dispatch(IDispatch** dispatch);
  HRESULT CopyClassId(CLSID* clsid) const;

  // The property table through a stream or a property bag (see PropertyTable). A successful
  // save with clear_dirty marks the control as unchanged.
  HRESULT LoadProperties(IStream* stream);
  HRESULT SaveProperties(IStream* stream, bool clear_dirty);
  HRESULT LoadProperties(IPropertyBag* bag, IErrorLog* log);
  HRESULT SaveProperties(IPropertyBag* bag, bool clear_dirty);

  bool InPlaceActive() const { return inPlaceActive_; }
  const RECT& Position() const { return position_; }

  Microsoft::WRL::ComPtr<IOleClientSite> clientSite_;
  Microsoft::WRL::ComPtr<IOleInPlaceSite> inPlaceSite_;
  Microsoft::WRL::ComPtr<IOleInPlaceFrame> frame_;
  Microsoft::WRL::ComPtr<IOleInPlaceUIWindow> uiWindow_;
  Microsoft::WRL::ComPtr<IOleAdviseHolder> oleAdviseHolder_;
  Microsoft::WRL::ComPtr<IAdviseSink> viewSink_;
  DWORD viewSinkAspects_ = 0;
  DWORD viewSinkFlags_ = 0;
  bool dirty_ = false;
  SIZEL extent_ = {};  // HIMETRIC

 private:
  // The control's window: its messages reach the control's map, then the standard handling.
  class ControlWindow final : public CWindowImpl {
   public:
    explicit ControlWindow(ControlCore& core) : core_(core) {}

   private:
    bool ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
      return core_.RouteMessage(message, wParam, lParam, result);
    }
    ControlCore& core_;
  };

  HRESULT CreateControlWindow(HWND parent, const RECT& position);
  bool RouteMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  bool StandardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  void RunTeardown();

  const ControlClass* class_ = nullptr;
  ControlWindow window_{*this};
  bool tornDown_ = false;  // since the last window was made
  bool inPlaceActive_ = false;
  bool uiActive_ = false;
  RECT position_ = {};
};
