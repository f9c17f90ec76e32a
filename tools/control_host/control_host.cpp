#include "tools/control_host/control_host.h"

#include <ocidl.h>

#include <utility>

#include "tools/control_host/error_text.h"
#include "tools/control_host/folder_url.h"
#include "tools/control_host/message_pump.h"

using Microsoft::WRL::ComPtr;

namespace {

// The room an OBJECT tag without width and height gets.
constexpr int kWindowWidth = 400;
constexpr int kWindowHeight = 300;

}  // namespace

CControlHost::CControlHost() : params_(MakeComObject<CPropertyBag>()) {}

HRESULT CControlHost::Fail(HRESULT result, const std::wstring& what) {
  error_ = what + L": " + DescribeResult(result);
  return result;
}

HRESULT CControlHost::PrepareBindHost() {
  if (!bindHostEnabled_) return S_OK;
  std::wstring page = pageUrl_;
  if (page.empty()) {
    const HRESULT result = FolderUrl(L".", &page);
    if (FAILED(result)) return Fail(result, L"cannot name the current folder as a page");
  }
  const HRESULT result = CBindHost::Create(page, bindHost_);
  if (FAILED(result)) return Fail(result, L"the page " + page + L" is no absolute URL");
  return S_OK;
}

HRESULT CControlHost::Create(const std::wstring& control) {
  error_.clear();
  if (object_) return Fail(E_UNEXPECTED, L"an object is hosted already");
  HRESULT result = PrepareBindHost();
  if (FAILED(result)) return result;
  CLSID clsid = CLSID_NULL;
  ComPtr<IUnknown> object;
  result = loader_.Create(control, &clsid, &object);
  if (FAILED(result)) {
    error_ = loader_.Error();
    bindHost_.Reset();
    return result;
  }
  return SetUp(object.Get(), clsid);
}

HRESULT CControlHost::HostObject(IUnknown* object, REFCLSID clsid) {
  error_.clear();
  if (object == nullptr) return Fail(E_POINTER, L"no object given");
  if (object_) return Fail(E_UNEXPECTED, L"an object is hosted already");
  const HRESULT result = PrepareBindHost();
  if (FAILED(result)) return result;
  return SetUp(object, clsid);
}

HRESULT CControlHost::SetUp(IUnknown* object, REFCLSID clsid) {
  object_ = object;
  clsid_ = clsid;
  (void)CControlLoader::ClassInfoOf(object, clsid, loader_.Library(), &classInfo_);  // optional
  ComPtr<IOleObject> control;
  HRESULT result = S_OK;
  if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&control)))) {
    // The window is there from the start, as a page's is: a control may ask for it when sited.
    result =
        container_.CreateWindowIn(parent_, {0, 0, kWindowWidth, kWindowHeight}, itemName_.c_str());
    if (FAILED(result)) Fail(result, L"cannot create the host window");
  }
  if (SUCCEEDED(result)) {
    ComPtr<IMoniker> page(bindHost_ ? bindHost_->PageMoniker() : nullptr);
    result = container_.Host(object, itemName_, bindHost_, std::move(page));
    if (FAILED(result)) Fail(result, L"cannot host the object");
  }
  if (SUCCEEDED(result)) result = Initialize();
  if (SUCCEEDED(result) && container_.IsControl()) {
    result = container_.ConnectSite();
    if (FAILED(result)) Fail(result, L"the control refused its site");
  }
  if (FAILED(result)) {
    Close();
    return result;
  }
  ConnectEvents();
  return S_OK;
}

HRESULT CControlHost::Initialize() {
  if (IOleObject* control = container_.OleObject(); control != nullptr) {
    DWORD misc = 0;
    (void)control->GetMiscStatus(DVASPECT_CONTENT, &misc);  // none said: nothing special
    if (misc & OLEMISC_SETCLIENTSITEFIRST) {
      const HRESULT result = container_.ConnectSite();
      if (FAILED(result)) return Fail(result, L"the control refused its site");
    }
  }
  ComPtr<IPersistPropertyBag> bag;
  const bool has_bag = SUCCEEDED(object_.As(&bag));
  if (has_bag && params_->Count() > 0) {
    const HRESULT result = bag->Load(params_.Get(), nullptr);
    if (FAILED(result)) return Fail(result, L"the control did not load its PARAMs");
    initialization_ = Initialization::kPropertyBagLoad;
    return S_OK;
  }
  if (has_bag) {
    const HRESULT result = bag->InitNew();
    if (FAILED(result)) return Fail(result, L"the control did not initialize");
    initialization_ = Initialization::kPropertyBagNew;
    return S_OK;
  }
  ComPtr<IPersistStreamInit> stream;
  if (SUCCEEDED(object_.As(&stream))) {
    const HRESULT result = stream->InitNew();
    if (FAILED(result)) return Fail(result, L"the control did not initialize");
    initialization_ = Initialization::kStreamNew;
  }
  return S_OK;
}

void CControlHost::ConnectEvents() {
  IID events = IID_NULL;
  ComPtr<ITypeInfo> info;
  if (FAILED(CEventSink::FindDefaultSource(object_.Get(), classInfo_.Get(), &events, &info))) {
    return;  // an object without events is still hosted
  }
  auto sink = MakeComObject<CEventSink>(
      events, std::move(info),
      [this](const FiredEvent& event, ScopedVariant& answer) { OnEvent(event, answer); });
  if (SUCCEEDED(sink->Connect(object_.Get()))) sink_ = std::move(sink);
}

void CControlHost::OnEvent(const FiredEvent& event, ScopedVariant& answer) {
  if (recordEvents_) {
    FiredEvent copy;
    copy.id = event.id;
    copy.name = event.name;
    copy.arguments.resize(event.arguments.size());
    for (size_t i = 0; i < event.arguments.size(); ++i) {
      (void)copy.arguments[i].CopyFrom(event.arguments[i].Get());  // a failed copy stays empty
    }
    events_.push_back(std::move(copy));
  }
  if (handler_) handler_(event, answer);
}

HRESULT CControlHost::Activate() {
  error_.clear();
  if (!object_) return Fail(E_UNEXPECTED, L"nothing is hosted");
  if (!container_.IsControl()) {
    return Fail(E_NOINTERFACE, L"the object is no control (it has no IOleObject)");
  }
  const HRESULT result = container_.Activate();
  if (FAILED(result)) return Fail(result, L"the control did not activate in place");
  return S_OK;
}

void CControlHost::Close() {
  if (sink_) {
    sink_->Disconnect();
    sink_.Reset();
  }
  container_.Close();
  classInfo_.Reset();
  events_.clear();
  object_.Reset();
  bindHost_.Reset();
  clsid_ = CLSID_NULL;
  initialization_ = Initialization::kNone;
  loader_.Unload();
}

void CControlHost::Pump(DWORD milliseconds, const std::function<bool()>& stop) {
  PumpMessages(milliseconds, stop,
               [this](MSG& message) { return container_.TranslateAccelerator(message); });
}

ComPtr<IDispatch> CControlHost::Dispatch() const {
  ComPtr<IDispatch> dispatch;
  if (object_) (void)object_.As(&dispatch);  // null for an object without IDispatch
  return dispatch;
}
