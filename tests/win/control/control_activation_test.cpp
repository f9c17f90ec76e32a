// The framework's activation, drawing and data: the probe control in a container, as a browser
// shows it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "common/container/control_container.h"
#include "common/control/control_core.h"
#include "tests/win/canvas.h"
#include "tests/win/control/probe_control.h"
#include "tests/win/dispatch_client.h"
#include "tools/control_host/control_host.h"

using Microsoft::WRL::ComPtr;
using testing::Contains;

namespace {

class ControlActivation : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));
    ComPtr<IProbeControl> probe = MakeComObject<CProbeControl>();
    probe_ = static_cast<CProbeControl*>(probe.Get());
    ASSERT_EQ(host_.HostObject(probe.Get(), CLSID_ProbeControl), S_OK)
        << testing::PrintToString(host_.Error());
  }
  void TearDown() override { host_.Close(); }

  template <typename I>
  ComPtr<I> As() {
    ComPtr<I> found;
    EXPECT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&found)), S_OK);
    return found;
  }

  CControlHost host_;
  CProbeControl* probe_ = nullptr;  // owned by the host
};

TEST_F(ControlActivation, WindowLivesFromActivationToDeactivation) {
  auto in_place = As<IOleInPlaceObject>();
  HWND window = reinterpret_cast<HWND>(0xdeadbeef);
  EXPECT_EQ(in_place->GetWindow(&window), E_FAIL) << "no window before activation";
  EXPECT_EQ(window, nullptr);

  ASSERT_EQ(host_.Activate(), S_OK);
  ASSERT_EQ(in_place->GetWindow(&window), S_OK);
  EXPECT_EQ(::GetParent(window), host_.Window());
  EXPECT_TRUE(::IsWindowVisible(window));
  HWND same = nullptr;
  ASSERT_EQ(As<IOleWindow>()->GetWindow(&same), S_OK);
  EXPECT_EQ(same, window);

  const RECT position = {10, 20, 110, 70};
  ASSERT_EQ(in_place->SetObjectRects(&position, &position), S_OK);
  RECT placed = {};
  ::GetWindowRect(window, &placed);
  ::MapWindowPoints(HWND_DESKTOP, host_.Window(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, 10);
  EXPECT_EQ(placed.top, 20);
  EXPECT_EQ(placed.right - placed.left, 100);
  EXPECT_EQ(placed.bottom - placed.top, 50);

  // A painted window draws through OnDraw.
  probe_->calls.clear();
  ::InvalidateRect(window, nullptr, TRUE);
  ::UpdateWindow(window);
  EXPECT_THAT(probe_->calls, Contains(L"draw"));

  // UI activation names the control's active object to the frame, and deactivation takes it back.
  ASSERT_EQ(As<IOleObject>()->DoVerb(OLEIVERB_UIACTIVATE, nullptr, host_.Site(), 0, host_.Window(),
                                     &position),
            S_OK);
  ASSERT_NE(host_.Site()->Frame(), nullptr);
  EXPECT_NE(host_.Site()->Frame()->ActiveObject(), nullptr);
  ASSERT_EQ(in_place->UIDeactivate(), S_OK);
  EXPECT_EQ(host_.Site()->Frame()->ActiveObject(), nullptr);

  ASSERT_EQ(
      As<IOleObject>()->DoVerb(OLEIVERB_HIDE, nullptr, host_.Site(), 0, host_.Window(), &position),
      S_OK);
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(
      As<IOleObject>()->DoVerb(OLEIVERB_OPEN, nullptr, host_.Site(), 0, host_.Window(), &position),
      E_NOTIMPL);
  ASSERT_EQ(in_place->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_FALSE(host_.Site()->InPlaceActive()) << "the site heard of the deactivation";
}

TEST_F(ControlActivation, DrawAndMetafileComeFromOnDraw) {
  auto view = As<IViewObjectEx>();
  DWORD status = 0;
  ASSERT_EQ(view->GetViewStatus(&status), S_OK);
  EXPECT_EQ(status, static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND));
  Canvas canvas(8, 8, RGB(1, 2, 3));
  HDC dc = canvas.Dc();
  const RECTL bounds = {0, 0, 8, 8};
  EXPECT_EQ(
      view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
      DV_E_DVASPECT);
  ASSERT_EQ(
      view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
      S_OK);
  EXPECT_EQ(canvas.Count(RGB(0, 0, 128)), 64);
  DWORD hit = 0;
  const RECT area = {0, 0, 8, 8};
  ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, {3, 3}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_HIT));
  ASSERT_EQ(view->QueryHitPoint(DVASPECT_CONTENT, &area, {9, 3}, 0, &hit), S_OK);
  EXPECT_EQ(hit, static_cast<DWORD>(HITRESULT_OUTSIDE));

  auto data = As<IDataObject>();
  FORMATETC text = {CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium = {};
  EXPECT_EQ(data->GetData(&text, &medium), DV_E_FORMATETC);
  FORMATETC picture = {CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
  EXPECT_EQ(data->QueryGetData(&picture), S_OK);
  probe_->calls.clear();
  ASSERT_EQ(data->GetData(&picture, &medium), S_OK);
  EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_MFPICT));
  const auto* metafile = static_cast<const METAFILEPICT*>(::GlobalLock(medium.hMetaFilePict));
  ASSERT_NE(metafile, nullptr);
  const SIZEL extent = PixelsToHimetric({100, 50});
  EXPECT_EQ(metafile->xExt, extent.cx);
  EXPECT_EQ(metafile->yExt, extent.cy);
  EXPECT_NE(metafile->hMF, nullptr);
  ::GlobalUnlock(medium.hMetaFilePict);
  ::ReleaseStgMedium(&medium);
  EXPECT_THAT(probe_->calls, Contains(L"draw"));
}

// A view sink that counts the changes it hears of.
class ViewSink final : public CComObject<IAdviseSink> {
 public:
  STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
  STDMETHODIMP_(void) OnViewChange(DWORD aspect, LONG) override { aspects.push_back(aspect); }
  STDMETHODIMP_(void) OnRename(IMoniker*) override {}
  STDMETHODIMP_(void) OnSave() override {}
  STDMETHODIMP_(void) OnClose() override {}
  std::vector<DWORD> aspects;
};

TEST_F(ControlActivation, LookChangesReachTheViewSink) {
  auto view = As<IViewObject2>();
  auto sink = MakeComObject<ViewSink>();
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, sink.Get()), S_OK);
  ASSERT_EQ(PutByName(host_.Dispatch().Get(), L"Border", BoolArgument(false)), S_OK);
  ASSERT_EQ(PutByName(host_.Dispatch().Get(), L"Border", BoolArgument(true)), S_OK);
  EXPECT_EQ(sink->aspects, (std::vector<DWORD>{DVASPECT_CONTENT, DVASPECT_CONTENT}));
  ComPtr<IAdviseSink> back;
  DWORD aspects = 0;
  DWORD flags = 0;
  ASSERT_EQ(view->GetAdvise(&aspects, &flags, &back), S_OK);
  EXPECT_EQ(back.Get(), sink.Get());

  // A sink that asked to hear once is let go after the first change.
  sink->aspects.clear();
  ASSERT_EQ(view->SetAdvise(DVASPECT_CONTENT, ADVF_ONLYONCE, sink.Get()), S_OK);
  back.Reset();
  ASSERT_EQ(PutByName(host_.Dispatch().Get(), L"Border", BoolArgument(false)), S_OK);
  ASSERT_EQ(PutByName(host_.Dispatch().Get(), L"Border", BoolArgument(true)), S_OK);
  EXPECT_EQ(sink->aspects.size(), 1u);
  ASSERT_EQ(view->GetAdvise(&aspects, &flags, &back), S_OK);
  EXPECT_EQ(back.Get(), nullptr);
}

// A container that activates quickly: one call gives the control's status and connects the
// events.
TEST(ControlQuickActivation, SitesAndConnectsInOneCall) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  ComPtr<IProbeControl> probe = MakeComObject<CProbeControl>();
  ComPtr<IQuickActivate> quick;
  ASSERT_EQ(probe.As(&quick), S_OK);
  std::vector<HeardEvent> log;
  RecordingSink sink(L"events", DIID__IProbeControlEvents, log);
  QACONTAINER container = {sizeof(container)};
  container.pUnkEventSink = static_cast<IDispatch*>(&sink);
  QACONTROL control = {sizeof(control)};
  ASSERT_EQ(quick->QuickActivate(&container, &control), S_OK);
  EXPECT_EQ(control.dwMiscStatus,
            static_cast<DWORD>(OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST));
  EXPECT_EQ(control.dwViewStatus, static_cast<DWORD>(VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND));
  EXPECT_NE(control.dwEventCookie, 0u);
  EXPECT_EQ(sink.References(), 1u) << "the connection point holds the sink";

  ComPtr<IConnectionPointContainer> points;
  ASSERT_EQ(probe.As(&points), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(points->FindConnectionPoint(DIID__IProbeControlEvents, &point), S_OK);
  ASSERT_EQ(point->Unadvise(control.dwEventCookie), S_OK);
  EXPECT_EQ(sink.References(), 0u);

  QACONTROL too_small = {8};
  EXPECT_EQ(quick->QuickActivate(&container, &too_small), E_INVALIDARG);
  SIZEL extent = {1234, 567};
  ASSERT_EQ(quick->SetContentExtent(&extent), S_OK);
  SIZEL back = {};
  ASSERT_EQ(quick->GetContentExtent(&back), S_OK);
  EXPECT_EQ(back.cx, 1234);
  EXPECT_EQ(back.cy, 567);
}

// The control ends its work once per window, with the object whole, whichever side ends first:
// the container destroying the window, or the last reference going while the window lives.
TEST(ControlTeardown, RunsOncePerWindowWhicheverSideEndsFirst) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  using Journal = std::vector<std::wstring>;
  const RECT room = {0, 0, 200, 100};
  struct Case {
    const char* what;
    void (*run)(CControlContainer& container, ComPtr<IProbeControl>& probe);
    Journal expected;
  };
  const Case cases[] = {
      {"never activated",
       [](CControlContainer&, ComPtr<IProbeControl>& probe) { probe.Reset(); },
       {L"teardown"}},
      {"the container destroys the window first",
       [](CControlContainer& container, ComPtr<IProbeControl>& probe) {
         ASSERT_EQ(container.Activate(), S_OK);
         ::DestroyWindow(container.Handle());
         container.Close();
         probe.Reset();
       },
       {L"teardown", L"destroy"}},
      {"deactivated, activated again, closed",
       [](CControlContainer& container, ComPtr<IProbeControl>& probe) {
         ASSERT_EQ(container.Activate(), S_OK);
         ComPtr<IOleInPlaceObject> in_place;
         ASSERT_EQ(probe.As(&in_place), S_OK);
         ASSERT_EQ(in_place->InPlaceDeactivate(), S_OK);
         ASSERT_EQ(container.Activate(), S_OK);
         in_place.Reset();
         container.Close();
         probe.Reset();
       },
       {L"teardown", L"destroy", L"teardown", L"destroy"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IProbeControl> probe = MakeComObject<CProbeControl>();
    const auto journal = static_cast<CProbeControl*>(probe.Get())->journal;
    {
      CControlContainer container;
      ASSERT_EQ(container.CreateWindowIn(nullptr, room, L"teardown"), S_OK);
      ASSERT_EQ(container.Host(probe.Get(), L"probe", nullptr, nullptr), S_OK);
      ASSERT_EQ(container.ConnectSite(), S_OK);
      c.run(container, probe);
    }
    EXPECT_EQ(*journal, c.expected);
  }

  // Released while its window lives: a container torn down abruptly lets go of the control
  // without deactivating it (the control still holds the site).
  CControlContainer parent;
  ASSERT_EQ(parent.CreateWindowIn(nullptr, room, L"teardown"), S_OK);
  ComPtr<IProbeControl> probe = MakeComObject<CProbeControl>();
  const auto journal = static_cast<CProbeControl*>(probe.Get())->journal;
  auto site = MakeComObject<CControlSite>(L"probe", nullptr, nullptr);
  site->SetObject(probe.Get());
  site->SetWindow(parent.Handle());
  ComPtr<IOleObject> control;
  ASSERT_EQ(probe.As(&control), S_OK);
  ASSERT_EQ(control->SetClientSite(site.Get()), S_OK);
  ASSERT_EQ(
      control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, parent.Handle(), &room),
      S_OK);
  HWND window = nullptr;
  ASSERT_EQ(site->InPlaceObject()->GetWindow(&window), S_OK);
  site->Detach();
  control.Reset();
  probe.Reset();
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(*journal, (Journal{L"teardown", L"destroy"}));
}

}  // namespace
