// The control on a page: hosted as a browser hosts an OBJECT tag, with PARAMs, a page URL that
// relative URLs resolve against, in-place activation and the automatic update it starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "common/control/control_core.h"
#include "tests/win/canvas.h"
#include "tests/win/dispatch_client.h"
#include "tests/win/velmar/scripted_update_steps.h"
#include "tools/control_host/control_host.h"
#include "velmar/velmar.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

class VelmarHosted : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));
    host_.SetPageUrl(L"http://server/app/page.html");
  }
  void TearDown() override { host_.Close(); }

  HRESULT Host() {
    ComPtr<IVelmar> control = MakeComObject<CVelmar>(steps_);
    return host_.HostObject(control.Get(), CLSID_Velmar);
  }
  ComPtr<IDispatch> Dispatch() { return host_.Dispatch(); }

  ScriptedUpdateSteps steps_;
  CControlHost host_;
};

TEST_F(VelmarHosted, ParamsSetThePropertiesBeforeTheWindowExists) {
  host_.SetParam(L"InstallerInfoXML", L"info.xml");
  host_.SetParam(L"ShowWaitDialog", L"0");
  host_.SetParam(L"DownloadTitleText", L"\uB2E4\uC6B4\uB85C\uB4DC");
  host_.SetParam(L"TrustZone", L"a.example;b.example");
  host_.SetParam(L"SaveXML", L"true");
  ASSERT_EQ(Host(), S_OK) << testing::PrintToString(host_.Error());
  EXPECT_EQ(host_.HowInitialized(), CControlHost::Initialization::kPropertyBagLoad);
  const auto dispatch = Dispatch();
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"InstallerInfoXML").Get()), L"info.xml");
  EXPECT_EQ(GetByName(dispatch.Get(), L"ShowWaitDialog").Get().boolVal, VARIANT_FALSE);
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"DownloadTitleText").Get()),
            L"\uB2E4\uC6B4\uB85C\uB4DC");
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"TrustZone").Get()), L"a.example;b.example");
  EXPECT_EQ(GetByName(dispatch.Get(), L"SaveXML").Get().boolVal, VARIANT_TRUE);
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"XMLUrl").Get()), L"") << "absent PARAM: default";

  // Saving writes the six properties by name, in order, and loads back into a fresh control.
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&persist)), S_OK);
  auto saved = MakeComObject<CPropertyBag>();
  ASSERT_EQ(persist->Save(saved.Get(), TRUE, TRUE), S_OK);
  EXPECT_EQ(saved->Count(), 6u);
  std::wstring value;
  ASSERT_TRUE(saved->Find(L"SaveXML", value));
  ComPtr<IVelmar> fresh = MakeComObject<CVelmar>(steps_);
  ComPtr<IPersistPropertyBag> loader;
  ASSERT_EQ(fresh.As(&loader), S_OK);
  ASSERT_EQ(loader->Load(saved.Get(), nullptr), S_OK);
  VARIANT_BOOL flag = VARIANT_FALSE;
  ASSERT_EQ(fresh->get_SaveXML(&flag), S_OK);
  EXPECT_EQ(flag, VARIANT_TRUE);
  ScopedBstr text;
  ASSERT_EQ(fresh->get_DownloadTitleText(text.Receive()), S_OK);
  EXPECT_STREQ(text.Get(), L"\uB2E4\uC6B4\uB85C\uB4DC");
  EXPECT_TRUE(steps_.calls.empty()) << "loading starts nothing";
}

TEST_F(VelmarHosted, XmlUrlParamStartsTheUpdateWhenTheWindowIsCreated) {
  host_.SetParam(L"XMLUrl", L"update/list.xml");
  host_.SetParam(L"TrustZone", L"intranet.example");
  steps_.result = {2500, L"installer failed"};
  ASSERT_EQ(Host(), S_OK);
  EXPECT_TRUE(steps_.calls.empty()) << "nothing before activation";
  ASSERT_EQ(host_.Activate(), S_OK) << testing::PrintToString(host_.Error());
  EXPECT_THAT(steps_.calls, ElementsAre(L"sites:intranet.example", L"handoff"));
  ASSERT_EQ(steps_.requests.size(), 1u);
  const HandOffRequest& request = steps_.requests[0];
  EXPECT_EQ(request.descriptorUrl, L"http://server/app/update/list.xml");
  EXPECT_EQ(request.pageBaseUrl, L"http://server/app/");
  EXPECT_NE(request.owner, nullptr);
  ASSERT_EQ(host_.Events().size(), 1u);
  EXPECT_EQ(host_.Events()[0].name, L"OnUpdateError");
  ASSERT_EQ(host_.Events()[0].arguments.size(), 2u);
  EXPECT_EQ(host_.Events()[0].arguments[0].Get().vt, VT_I4);
  EXPECT_EQ(host_.Events()[0].arguments[0].Get().lVal, 2500);
  EXPECT_EQ(TextOf(host_.Events()[0].arguments[1].Get()), L"installer failed");

  // Activation is done once: deactivating and activating again starts no second update.
  ComPtr<IOleInPlaceObject> in_place;
  ASSERT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&in_place)), S_OK);
  HWND window = nullptr;
  ASSERT_EQ(in_place->GetWindow(&window), S_OK);
  wchar_t class_name[64] = {};
  ::GetClassNameW(window, class_name, 64);
  EXPECT_STREQ(class_name, L"KoviraVelmarControl");
  EXPECT_EQ(::GetParent(window), host_.Window());
  ASSERT_EQ(in_place->InPlaceDeactivate(), S_OK);
  EXPECT_FALSE(::IsWindow(window));
  ASSERT_EQ(host_.Activate(), S_OK);
  EXPECT_EQ(steps_.requests.size(), 1u) << "Update ran already: the window's creation is quiet";
}

TEST_F(VelmarHosted, ScriptCallingUpdateFirstSuppressesTheAutomaticRun) {
  host_.SetParam(L"XMLUrl", L"list.xml");
  ASSERT_EQ(Host(), S_OK);
  auto url = Arguments(ScopedVariant(L"/other.xml"));
  ASSERT_EQ(InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, url), S_OK);
  ASSERT_EQ(host_.Activate(), S_OK);
  ASSERT_EQ(steps_.requests.size(), 1u);
  EXPECT_EQ(steps_.requests[0].descriptorUrl, L"http://server/other.xml");
}

TEST_F(VelmarHosted, WithoutABindHostUrlsStayAsGiven) {
  host_.SetBindHost(false);
  ASSERT_EQ(Host(), S_OK);
  auto url = Arguments(ScopedVariant(L"update.xml"));
  ASSERT_EQ(InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, url), S_OK);
  ASSERT_EQ(steps_.requests.size(), 1u);
  EXPECT_EQ(steps_.requests[0].descriptorUrl, L"update.xml");
  EXPECT_EQ(steps_.requests[0].pageBaseUrl, L"");
}

// The trusted-sites question pumps messages: the window may be created meanwhile, and must not
// start an update of its own.
TEST_F(VelmarHosted, WindowCreatedDuringTheSitesQuestionStartsNoSecondUpdate) {
  host_.SetParam(L"XMLUrl", L"list.xml");
  host_.SetParam(L"TrustZone", L"intranet.example");
  ASSERT_EQ(Host(), S_OK);
  steps_.duringSites = [this] { ASSERT_EQ(host_.Activate(), S_OK); };
  auto url = Arguments(ScopedVariant(L"own.xml"));
  ASSERT_EQ(InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, url), S_OK);
  EXPECT_TRUE(host_.IsActive());
  EXPECT_THAT(steps_.calls, ElementsAre(L"sites:intranet.example", L"handoff"));
  ASSERT_EQ(steps_.requests.size(), 1u);
  EXPECT_EQ(steps_.requests[0].descriptorUrl, L"http://server/app/own.xml");
}

// Both would share the installer's saved descriptor: the second is refused, without an event.
TEST_F(VelmarHosted, UpdateCalledWhileOneRunsIsRefused) {
  host_.SetParam(L"TrustZone", L"intranet.example");
  ASSERT_EQ(Host(), S_OK);
  ComPtr<IVelmar> other = MakeComObject<CVelmar>(steps_);
  HRESULT again = E_FAIL;
  HRESULT otherControl = E_FAIL;
  steps_.duringHandOff = [&] {
    auto url = Arguments(ScopedVariant(L"again.xml"));
    again = InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, url);
    otherControl = other->Update(nullptr);
  };
  steps_.result = {2500, L"first"};
  auto url = Arguments(ScopedVariant(L"first.xml"));
  ASSERT_EQ(InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, url), S_OK);
  EXPECT_EQ(again, S_OK);
  EXPECT_EQ(otherControl, S_OK);
  EXPECT_THAT(steps_.calls, ElementsAre(L"sites:intranet.example", L"handoff"));
  ASSERT_EQ(host_.Events().size(), 1u) << "only the running update reports";
  EXPECT_EQ(TextOf(host_.Events()[0].arguments[1].Get()), L"first");

  // Once it has ended, the next one runs.
  steps_.duringHandOff = nullptr;
  ASSERT_EQ(other->Update(nullptr), S_OK);
  EXPECT_THAT(steps_.calls,
              ElementsAre(L"sites:intranet.example", L"handoff", L"sites:", L"handoff"));
}

TEST_F(VelmarHosted, ControlWindowDestroyedDuringTheHandOffEndsIt) {
  ASSERT_EQ(Host(), S_OK);
  ASSERT_EQ(host_.Activate(), S_OK);
  ComPtr<IOleInPlaceObject> in_place;
  ASSERT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&in_place)), S_OK);
  steps_.duringHandOff = [&] { ASSERT_EQ(in_place->InPlaceDeactivate(), S_OK); };
  auto none = Arguments();
  ASSERT_EQ(InvokeByName(Dispatch().Get(), L"Update", DISPATCH_METHOD, none), S_OK);
  EXPECT_THAT(steps_.calls, ElementsAre(L"sites:", L"handoff", L"end"));

  // A window that goes while no hand-off runs ends nothing.
  steps_.calls.clear();
  steps_.duringHandOff = nullptr;
  ASSERT_EQ(host_.Activate(), S_OK);
  ASSERT_EQ(in_place->InPlaceDeactivate(), S_OK);
  EXPECT_TRUE(steps_.calls.empty());
}

TEST_F(VelmarHosted, NaturalExtentIsOnePixelAndDrawingPaintsNothing) {
  ASSERT_EQ(Host(), S_OK);
  ComPtr<IOleObject> object;
  ASSERT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&object)), S_OK);
  SIZEL extent = {};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  const SIZEL one_pixel = PixelsToHimetric({1, 1});
  EXPECT_EQ(extent.cx, one_pixel.cx);
  EXPECT_EQ(extent.cy, one_pixel.cy);
  DWORD misc = 0;
  ASSERT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  EXPECT_EQ(misc, 131473u);

  ComPtr<IViewObject> view;
  ASSERT_EQ(host_.Object()->QueryInterface(IID_PPV_ARGS(&view)), S_OK);
  Canvas canvas(4, 4, RGB(1, 2, 3));
  const RECTL bounds = {0, 0, 4, 4};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds,
                       nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(canvas.Count(RGB(1, 2, 3)), 16) << "nothing painted";
}

}  // namespace
