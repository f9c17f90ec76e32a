#pragma once

#include <windows.h>

#include <ocidl.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/connection_point.h"

// A control that records what its container does to it, in order, and behaves like a windowed
// control in place: on DoVerb it asks its site for activation and the window context, then makes
// a child window there. Its events are the events probe's (DEventProbeEvents), described by the
// probe's type library through IProvideClassInfo2.
class FakeControl final : public CComObject<IOleObject, IOleInPlaceObject, IPersistPropertyBag,
                                            IProvideClassInfo2, ConnectionPointContainer> {
 public:
  struct Options {
    DWORD misc = 0;
    bool property_bag = true;  // answers IPersistPropertyBag
    bool stream_init = false;  // answers IPersistStreamInit
    HRESULT load_result = S_OK;
    HRESULT verb_result = S_OK;  // a failure: DoVerb refuses at once
  };

  // class_info: the coclass the control says it is (may be null: then no class info).
  FakeControl(Options options, Microsoft::WRL::ComPtr<ITypeInfo> class_info);

  IUnknown* Unknown() { return static_cast<IOleObject*>(this); }
  const std::vector<std::string>& Calls() const { return calls_; }
  IOleClientSite* ClientSite() const { return site_.Get(); }
  HWND ControlWindow() const { return window_; }
  HWND VerbParent() const { return verbParent_; }
  RECT VerbRect() const { return verbRect_; }
  RECT ContextRect() const { return contextRect_; }
  // PARAMs read in Load: "XMLUrl" as text, "Count" as a number.
  const std::wstring& XmlUrl() const { return xmlUrl_; }
  LONG Count() const { return count_; }
  size_t Sinks() { return Point(events_)->Connections(); }
  HRESULT RaiseEvent(const wchar_t* text, LONG number) { return Fire(1, text, number); }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  STDMETHODIMP Close(DWORD save) override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                      LPCRECT rect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  STDMETHODIMP Update() override { return S_OK; }
  STDMETHODIMP IsUpToDate() override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* window) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

  // IPersistPropertyBag (IPersistStreamInit comes from a tear-off: both have an InitNew)
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog*) override;
  STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

  // IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

 private:
  class StreamInit;

  ~FakeControl() override;

  void Record(std::string call) { calls_.push_back(std::move(call)); }

  Options options_;
  Microsoft::WRL::ComPtr<ITypeInfo> classInfo_;
  IID events_;
  std::vector<std::string> calls_;
  Microsoft::WRL::ComPtr<IOleClientSite> site_;
  Microsoft::WRL::ComPtr<IOleInPlaceSite> inPlaceSite_;  // while in place
  HWND window_ = nullptr;
  HWND verbParent_ = nullptr;
  RECT verbRect_ = {};
  RECT contextRect_ = {};
  std::wstring xmlUrl_;
  LONG count_ = 0;
};
