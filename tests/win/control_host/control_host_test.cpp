// The control host with a fake control: what it calls, in which order, and what it lets go.
#include "tools/control_host/control_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "probe_events.h"
#include "tests/win/control_host/fake_control.h"
#include "tests/win/test_files.h"
#include "tools/control_host/folder_url.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

std::wstring EventsProbePath() { return BesideTestProgram(L"com_server_events_probe.dll"); }

std::wstring TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR && value.bstrVal ? value.bstrVal : L"(not text)";
}

// An active object that logs the keys the container offers it, and takes them all.
class FakeActiveObject final : public CComObject<IOleInPlaceActiveObject> {
 public:
  std::vector<UINT> offered;

  STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(LPMSG message) override {
    offered.push_back(message->message);
    return S_OK;
  }
  STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }

 private:
  ~FakeActiveObject() override = default;
};

class ControlHostWithFake : public testing::Test {
 protected:
  void SetUp() override {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLibEx(EventsProbePath().c_str(), REGKIND_NONE, &library), S_OK);
    ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_EventProbe, &classInfo_), S_OK);
    host_.SetPageUrl(L"http://server/app/page.html");
  }

  ComPtr<FakeControl> Fake(FakeControl::Options options = {}) {
    return MakeComObject<FakeControl>(options, classInfo_);
  }

  ComPtr<ITypeInfo> classInfo_;
  CControlHost host_;
};

TEST_F(ControlHostWithFake, LoadsParamsThenSitesTheControl) {
  host_.SetParam(L"XMLUrl", L"x.xml");
  host_.SetParam(L"count", L"12");
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_EventProbe), S_OK) << host_.Error();
  EXPECT_THAT(fake->Calls(),
              ElementsAre("GetMiscStatus", "PropertyBag::Load", "SetClientSite(site)"));
  EXPECT_EQ(fake->XmlUrl(), L"x.xml");
  EXPECT_EQ(fake->Count(), 12);
  EXPECT_EQ(host_.HowInitialized(), CControlHost::Initialization::kPropertyBagLoad);
  EXPECT_TRUE(host_.IsControl());
  EXPECT_FALSE(host_.IsActive());
  EXPECT_EQ(fake->ClientSite(), static_cast<IOleClientSite*>(host_.Site()));
  EXPECT_EQ(host_.Object(), fake->Unknown());
  EXPECT_EQ(host_.Clsid(), CLSID_EventProbe);
  EXPECT_EQ(host_.ClassInfo(), classInfo_.Get());  // from IProvideClassInfo
  // The window is there for the site, hidden until the control goes in place.
  ASSERT_NE(host_.Window(), nullptr);
  EXPECT_FALSE(::IsWindowVisible(host_.Window()));
  HWND site_window = nullptr;
  EXPECT_EQ(host_.Site()->GetWindow(&site_window), S_OK);
  EXPECT_EQ(site_window, host_.Window());
  EXPECT_TRUE(host_.EventsConnected());
  EXPECT_EQ(fake->Sinks(), 1u);
  EXPECT_EQ(host_.Dispatch(), nullptr);  // the fake has no IDispatch
}

TEST_F(ControlHostWithFake, ControlAskingForItsSiteFirstGetsItBeforeLoading) {
  host_.SetParam(L"XMLUrl", L"x.xml");
  auto fake = Fake({OLEMISC_SETCLIENTSITEFIRST});
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  EXPECT_THAT(fake->Calls(),
              ElementsAre("GetMiscStatus", "SetClientSite(site)", "PropertyBag::Load"));
}

TEST_F(ControlHostWithFake, InitializesNewThroughWhatTheControlHas) {
  struct Case {
    bool params;
    bool bag;
    bool stream;
    const char* init;  // the call between GetMiscStatus and SetClientSite, if any
    CControlHost::Initialization how;
  };
  const Case cases[] = {
      {false, true, true, "PropertyBag::InitNew", CControlHost::Initialization::kPropertyBagNew},
      {false, false, true, "StreamInit::InitNew", CControlHost::Initialization::kStreamNew},
      // PARAMs for a control without a property bag stay unread.
      {true, false, true, "StreamInit::InitNew", CControlHost::Initialization::kStreamNew},
      {true, false, false, nullptr, CControlHost::Initialization::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "params " << c.params << " bag " << c.bag << " stream " << c.stream);
    CControlHost host;
    if (c.params) host.SetParam(L"XMLUrl", L"x.xml");
    auto fake = Fake({0, c.bag, c.stream});
    ASSERT_EQ(host.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host.Error();
    std::vector<std::string> expected = {"GetMiscStatus"};
    if (c.init) expected.push_back(c.init);
    expected.push_back("SetClientSite(site)");
    EXPECT_EQ(fake->Calls(), expected);
    EXPECT_EQ(host.HowInitialized(), c.how);
    EXPECT_EQ(fake->XmlUrl(), L"");
    host.Close();
    EXPECT_EQ(ReferenceCount(fake->Unknown()), 1u);
  }
}

TEST_F(ControlHostWithFake, ControlFailingToLoadIsClosedAndLetGo) {
  for (DWORD misc : {DWORD{0}, DWORD{OLEMISC_SETCLIENTSITEFIRST}}) {
    SCOPED_TRACE(misc);
    CControlHost host;
    host.SetParam(L"XMLUrl", L"x.xml");
    auto fake = Fake({misc, true, false, E_FAIL});
    EXPECT_EQ(host.HostObject(fake->Unknown(), CLSID_NULL), E_FAIL);
    EXPECT_THAT(host.Error(), testing::HasSubstr(L"PARAMs"));
    if (misc) {
      EXPECT_THAT(fake->Calls(),
                  ElementsAre("GetMiscStatus", "SetClientSite(site)", "PropertyBag::Load",
                              "Close(1) sinks=0", "SetClientSite(null)"));
    } else {
      EXPECT_THAT(fake->Calls(),
                  ElementsAre("GetMiscStatus", "PropertyBag::Load", "Close(1) sinks=0"));
    }
    EXPECT_EQ(host.Object(), nullptr);
    EXPECT_EQ(host.Window(), nullptr);
    EXPECT_EQ(fake->ClientSite(), nullptr);
    EXPECT_EQ(ReferenceCount(fake->Unknown()), 1u);
  }
}

TEST_F(ControlHostWithFake, ActivatesInPlaceInTheHostWindowAndFollowsItsSize) {
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  ASSERT_EQ(host_.Activate(), S_OK) << host_.Error();
  EXPECT_EQ(fake->Calls().back(), "DoVerb(-5)");
  EXPECT_TRUE(host_.IsActive());
  EXPECT_TRUE(::IsWindowVisible(host_.Window()));
  EXPECT_EQ(fake->VerbParent(), host_.Window());
  RECT client = {};
  ASSERT_TRUE(::GetClientRect(host_.Window(), &client));
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 300);
  const RECT verb = fake->VerbRect(), context = fake->ContextRect();
  EXPECT_TRUE(::EqualRect(&verb, &client));
  EXPECT_TRUE(::EqualRect(&context, &client));
  EXPECT_TRUE(::IsChild(host_.Window(), fake->ControlWindow()));
  EXPECT_EQ(host_.Site()->InPlaceObject(), static_cast<IOleInPlaceObject*>(fake.Get()));

  // Active already: nothing more happens.
  const size_t calls = fake->Calls().size();
  EXPECT_EQ(host_.Activate(), S_OK);
  EXPECT_EQ(fake->Calls().size(), calls);

  ASSERT_TRUE(::SetWindowPos(host_.Window(), nullptr, 0, 0, 500, 260, SWP_NOZORDER | SWP_NOMOVE));
  ASSERT_TRUE(::GetClientRect(host_.Window(), &client));
  EXPECT_EQ(fake->Calls().back(),
            "SetObjectRects " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
}

TEST_F(ControlHostWithFake, CloseDisconnectsDeactivatesClosesAndLetsEverythingGo) {
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  ASSERT_EQ(host_.Activate(), S_OK);
  const HWND window = host_.Window();
  const HWND control_window = fake->ControlWindow();
  ComPtr<CControlSite> site = host_.Site();
  const size_t before = fake->Calls().size();

  host_.Close();
  const std::vector<std::string> closing(fake->Calls().begin() + before, fake->Calls().end());
  // The events are disconnected before anything else.
  EXPECT_THAT(closing, ElementsAre("InPlaceDeactivate", "Close(1) sinks=0", "SetClientSite(null)"));
  EXPECT_FALSE(::IsWindow(control_window));
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(host_.Window(), nullptr);
  EXPECT_EQ(host_.Object(), nullptr);
  EXPECT_EQ(host_.Site(), nullptr);
  EXPECT_FALSE(host_.IsControl());
  EXPECT_FALSE(host_.EventsConnected());
  EXPECT_EQ(fake->ClientSite(), nullptr);
  EXPECT_EQ(ReferenceCount(fake->Unknown()), 1u);
  EXPECT_FALSE(site->InPlaceActive());
  EXPECT_EQ(site->Frame(), nullptr);
  EXPECT_EQ(ReferenceCount(static_cast<IOleClientSite*>(site.Get())), 1u);

  const size_t closed = fake->Calls().size();
  host_.Close();  // nothing hosted: nothing happens
  EXPECT_EQ(fake->Calls().size(), closed);
}

TEST_F(ControlHostWithFake, EventsAreRecordedInOrderAndHandedToTheHandler) {
  std::vector<std::wstring> handled;
  host_.SetEventHandler([&](const FiredEvent& event, ScopedVariant&) {
    handled.push_back(event.name + L"(" + TextOf(event.arguments.at(0).Get()) + L")");
  });
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  ASSERT_EQ(fake->RaiseEvent(L"first", 1), S_OK);
  ASSERT_EQ(fake->RaiseEvent(L"second", 2), S_OK);
  ASSERT_EQ(host_.Events().size(), 2u);
  const FiredEvent& first = host_.Events()[0];
  EXPECT_EQ(first.id, 1);
  EXPECT_EQ(first.name, L"Raised");
  ASSERT_EQ(first.arguments.size(), 2u);
  EXPECT_EQ(TextOf(first.arguments[0].Get()), L"first");  // source order: text, then number
  ASSERT_EQ(first.arguments[1].Get().vt, VT_I4);
  EXPECT_EQ(first.arguments[1].Get().lVal, 1);
  EXPECT_EQ(host_.Events()[1].arguments[1].Get().lVal, 2);
  EXPECT_THAT(handled, ElementsAre(L"Raised(first)", L"Raised(second)"));

  host_.SetRecordEvents(false);
  host_.ClearEvents();
  ASSERT_EQ(fake->RaiseEvent(L"third", 3), S_OK);
  EXPECT_TRUE(host_.Events().empty());
  EXPECT_EQ(handled.size(), 3u);
  host_.Close();
  EXPECT_EQ(fake->Sinks(), 0u);
}

TEST_F(ControlHostWithFake, SiteOffersABindHostOnThePageOrNoneAtAll) {
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  ComPtr<IServiceProvider> services;
  ASSERT_EQ(fake->ClientSite()->QueryInterface(IID_PPV_ARGS(&services)), S_OK);
  ComPtr<IBindHost> bind_host;
  ASSERT_EQ(services->QueryService(SID_SBindHost, IID_PPV_ARGS(&bind_host)), S_OK);
  ComPtr<IMoniker> folder;
  ASSERT_EQ(bind_host->CreateMoniker(const_cast<LPOLESTR>(L"."), nullptr, &folder, 0), S_OK);
  ScopedCoTaskMem name;
  ComPtr<IBindCtx> context;
  ASSERT_EQ(::CreateBindCtx(0, &context), S_OK);
  ASSERT_EQ(
      folder->GetDisplayName(context.Get(), nullptr, reinterpret_cast<LPOLESTR*>(name.Receive())),
      S_OK);
  EXPECT_STREQ(static_cast<const wchar_t*>(name.Get()), L"http://server/app/");
  host_.Close();

  CControlHost without;
  without.SetBindHost(false);
  auto other = Fake();
  ASSERT_EQ(without.HostObject(other->Unknown(), CLSID_NULL), S_OK) << without.Error();
  EXPECT_EQ(without.BindHost(), nullptr);
  ASSERT_EQ(other->ClientSite()->QueryInterface(IID_PPV_ARGS(&services)), S_OK);
  bind_host.Reset();
  EXPECT_EQ(services->QueryService(SID_SBindHost, IID_PPV_ARGS(&bind_host)), E_NOINTERFACE);
  EXPECT_EQ(bind_host, nullptr);

  // With no page set, the page is the current folder.
  CControlHost folder_page;
  auto third = Fake();
  ASSERT_EQ(folder_page.HostObject(third->Unknown(), CLSID_NULL), S_OK) << folder_page.Error();
  std::wstring current;
  ASSERT_EQ(FolderUrl(L".", &current), S_OK);
  ASSERT_NE(folder_page.BindHost(), nullptr);
  EXPECT_EQ(folder_page.BindHost()->PageUrl(), current);
}

TEST_F(ControlHostWithFake, HostWindowCanBeAChildOfTheCallersWindow) {
  ScopedWindow parent(::CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                        nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(parent);
  host_.SetParentWindow(parent.Get());
  host_.SetItemName(L"grid");
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  EXPECT_EQ(::GetParent(host_.Window()), parent.Get());
  EXPECT_TRUE(::GetWindowLongW(host_.Window(), GWL_STYLE) & WS_CHILD);
  ASSERT_EQ(host_.Activate(), S_OK);
  HWND frame = nullptr;
  ASSERT_NE(host_.Site()->Frame(), nullptr);
  ASSERT_EQ(host_.Site()->Frame()->GetWindow(&frame), S_OK);
  EXPECT_EQ(frame, parent.Get());
  wchar_t title[16] = {};
  ::GetWindowTextW(host_.Window(), title, 16);
  EXPECT_STREQ(title, L"grid");
  host_.Close();
  EXPECT_TRUE(::IsWindow(parent.Get()));
}

TEST_F(ControlHostWithFake, PumpOffersKeysToTheUiActiveControlFirst) {
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  ASSERT_EQ(host_.Activate(), S_OK);
  auto active = MakeComObject<FakeActiveObject>();
  ASSERT_EQ(host_.Site()->Frame()->SetActiveObject(active.Get(), L"fake"), S_OK);
  ASSERT_TRUE(::PostMessageW(host_.Window(), WM_KEYDOWN, VK_TAB, 0));
  ASSERT_TRUE(::PostMessageW(host_.Window(), WM_USER, 0, 0));
  ASSERT_TRUE(::PostMessageW(host_.Window(), WM_CHAR, L'a', 0));
  bool stopped_early = false;
  host_.Pump(2000, [&] { return stopped_early = active->offered.size() == 2; });
  EXPECT_TRUE(stopped_early);
  EXPECT_THAT(active->offered, ElementsAre(UINT{WM_KEYDOWN}, UINT{WM_CHAR}));
  const ULONG held = ReferenceCount(active.Get());
  host_.Close();
  EXPECT_EQ(ReferenceCount(active.Get()), held - 1);  // the frame let the active object go
}

TEST_F(ControlHostWithFake, ControlRefusingActivationStaysSitedButInactive) {
  FakeControl::Options options;
  options.verb_result = E_OUTOFMEMORY;
  auto fake = Fake(options);
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
  EXPECT_EQ(host_.Activate(), E_OUTOFMEMORY);
  EXPECT_THAT(host_.Error(), testing::HasSubstr(L"in place"));
  EXPECT_FALSE(host_.IsActive());
  EXPECT_EQ(fake->ControlWindow(), nullptr);
  host_.Close();
  // Never in place, so never deactivated.
  EXPECT_THAT(fake->Calls(),
              ElementsAre("GetMiscStatus", "PropertyBag::InitNew", "SetClientSite(site)",
                          "DoVerb(-5)", "Close(1) sinks=0", "SetClientSite(null)"));
}

TEST_F(ControlHostWithFake, PageWithoutASchemeIsRefusedBeforeTheControlIsTouched) {
  host_.SetPageUrl(L"pages\\page.html");
  auto fake = Fake();
  EXPECT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), E_INVALIDARG);
  EXPECT_THAT(host_.Error(), testing::HasSubstr(L"pages\\page.html"));
  EXPECT_TRUE(fake->Calls().empty());
  EXPECT_EQ(host_.Object(), nullptr);
  EXPECT_EQ(ReferenceCount(fake->Unknown()), 1u);
  // Without a bind host the page is not needed, nor looked at.
  host_.SetBindHost(false);
  EXPECT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK) << host_.Error();
}

TEST_F(ControlHostWithFake, MisuseFailsWithAReason) {
  EXPECT_EQ(host_.Activate(), E_UNEXPECTED);
  EXPECT_FALSE(host_.Error().empty());
  EXPECT_EQ(host_.HostObject(nullptr, CLSID_NULL), E_POINTER);
  auto fake = Fake();
  ASSERT_EQ(host_.HostObject(fake->Unknown(), CLSID_NULL), S_OK);
  auto second = Fake();
  EXPECT_EQ(host_.HostObject(second->Unknown(), CLSID_NULL), E_UNEXPECTED);
  EXPECT_EQ(host_.Create(L"Anything.AtAll"), E_UNEXPECTED);
  EXPECT_TRUE(second->Calls().empty());
  EXPECT_EQ(ReferenceCount(second->Unknown()), 1u);
}

}  // namespace
