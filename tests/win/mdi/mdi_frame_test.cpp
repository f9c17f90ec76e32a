// The frame hosted as a page hosts it, driven through IMDIFrame and through the window messages
// that the user's actions and other programs make.
#include "mdi/mdi_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <objsafe.h>

#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "common/container/control_container.h"
#include "mdi/view_messages.h"
#include "tests/win/pump_until.h"
#include "tools/control_host/control_host.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

constexpr WPARAM kMaximizeFromCaption = SC_MAXIMIZE + 2;
constexpr WPARAM kRestoreFromCaption = SC_RESTORE + 2;

LONG Style(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }

class MDIFrameHosted : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));
    host_.SetEventHandler([this](const FiredEvent& event, ScopedVariant& answer) {
      if (event.name == L"OnStateChange") (void)answer.CopyFrom(answer_.Get());
      if (onEvent_) onEvent_(event);
    });
    frame_ = MakeComObject<CMDIFrame>();
    ASSERT_EQ(host_.HostObject(static_cast<IMDIFrame*>(frame_.Get()), CLSID_MDIFrame), S_OK)
        << host_.Error().c_str();
    ASSERT_EQ(host_.Activate(), S_OK) << host_.Error().c_str();
    window_ = frame_->Window();
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    onEvent_ = nullptr;
    host_.Close();
  }

  ComPtr<CChildView> View(LONG index) {
    VARIANT result = {};
    if (FAILED(frame_->get_View(index, &result)) || result.vt != VT_DISPATCH) return nullptr;
    ComPtr<IDispatch> dispatch;
    *dispatch.GetAddressOf() = result.pdispVal;
    return static_cast<CChildView*>(static_cast<IChildView*>(dispatch.Get()));
  }
  // "OnSetFocus(0)", ... in the order the page heard them; cleared after.
  std::vector<std::wstring> Heard() {
    std::vector<std::wstring> heard;
    for (const auto& event : host_.Events()) {
      std::wstring text = event.name + L"(";
      for (size_t i = 0; i < event.arguments.size(); ++i) {
        text += (i ? L"," : L"") + std::to_wstring(event.arguments[i].Get().lVal);
      }
      heard.push_back(text + L")");
    }
    host_.ClearEvents();
    return heard;
  }
  void Answer(VARTYPE type, VARIANT_BOOL value = VARIANT_FALSE) {
    answer_.Reset();
    answer_.Pointer()->vt = type;
    if (type == VT_BOOL) answer_.Pointer()->boolVal = value;
  }

  CControlHost host_;
  ComPtr<CMDIFrame> frame_;
  HWND window_ = nullptr;
  ScopedVariant answer_;  // the page's answer to OnStateChange
  std::function<void(const FiredEvent&)> onEvent_;
};

TEST_F(MDIFrameHosted, NewViewsCascadeByTheSystemStepAndStartAgainWhenTheyNoLongerFit) {
  const LONG step = ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION);
  RECT client = {};
  ASSERT_TRUE(::GetClientRect(window_, &client));
  std::vector<std::wstring> expected;
  std::vector<std::wstring> placed;
  for (LONG i = 0, x = 0, y = 0; i < 8; ++i) {
    ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
    expected.push_back(std::to_wstring(x) + L"," + std::to_wstring(y));
    x += step;
    y += step;
    if (client.right < 300 + x || client.bottom < 200 + y) x = y = 0;
    LONG left = -1;
    LONG top = -1;
    EXPECT_EQ(View(i)->get_Left(&left), S_OK);
    EXPECT_EQ(View(i)->get_Top(&top), S_OK);
    placed.push_back(std::to_wstring(left) + L"," + std::to_wstring(top));
  }
  EXPECT_EQ(placed, expected);
  EXPECT_NE(std::find(expected.begin() + 1, expected.end(), L"0,0"), expected.end())
      << "eight views in " << client.right << "x" << client.bottom << " start again at (0, 0)";
}

TEST_F(MDIFrameHosted, CaptionBarCommandsAskThePageFirst) {
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  const HWND view = View(1)->Window();
  (void)Heard();
  struct Case {
    WPARAM command;
    VARTYPE answerType;
    VARIANT_BOOL answer;
    LONG stateAfter;
    bool captionAfter;
    const wchar_t* heard;
  } const cases[] = {
      {kMaximizeFromCaption, VT_BOOL, VARIANT_FALSE, kViewNormal, true, L"OnStateChange(1,1)"},
      {SC_MINIMIZE, VT_BOOL, VARIANT_FALSE, kViewNormal, true, L"OnStateChange(1,2)"},
      {kMaximizeFromCaption, VT_BOOL, VARIANT_TRUE, kViewMaximized, false, L"OnStateChange(1,1)"},
      {kRestoreFromCaption, VT_BOOL, VARIANT_FALSE, kViewMaximized, false, L"OnStateChange(1,0)"},
      {SC_RESTORE, VT_I4, 0, kViewNormal, true, L"OnStateChange(1,0)"},
      {SC_MAXIMIZE + 1, VT_BOOL, VARIANT_FALSE, kViewNormal, true, L"OnStateChange(1,1)"},
      {SC_MINIMIZE, VT_EMPTY, 0, kViewMinimized, true, L"OnStateChange(1,2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.command << " answered " << c.answer);
    Answer(c.answerType, c.answer);
    EXPECT_EQ(::SendMessageW(view, WM_SYSCOMMAND, c.command, 0), 0);
    LONG state = -1;
    EXPECT_EQ(View(1)->get_State(&state), S_OK);
    EXPECT_EQ(state, c.stateAfter);
    EXPECT_EQ((Style(view) & WS_CAPTION) == WS_CAPTION, c.captionAfter);
    EXPECT_THAT(Heard(), ElementsAre(c.heard));
  }
  // Closing from the caption bar: no event says so; the last view becomes the active one.
  ::SendMessageW(view, WM_SYSCOMMAND, SC_CLOSE, 0);
  LONG count = 0;
  EXPECT_TRUE(PumpUntil([&] { return SUCCEEDED(frame_->get_Count(&count)) && count == 1; }));
  EXPECT_FALSE(::IsWindow(view));
  EXPECT_THAT(Heard(), ElementsAre(L"OnSetFocus(0)"));
}

TEST_F(MDIFrameHosted, ViewMessagesOfOtherSendersAreNotTakenForViews) {
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  (void)Heard();
  Answer(VT_BOOL, VARIANT_FALSE);
  DWORD marker = 0xdeadbeef;
  const auto stranger = reinterpret_cast<WPARAM>(&marker);
  // Its answer is the result: nothing is written through what the sender gave.
  EXPECT_EQ(::SendMessageW(window_, WM_MDIVIEW_STATE, stranger, static_cast<LPARAM>(stranger)), 1);
  EXPECT_EQ(marker, 0xdeadbeef);
  EXPECT_EQ(::SendMessageW(window_, WM_MDIVIEW_STATE, kViewMaximized,
                           reinterpret_cast<LPARAM>(View(0).Get())),
            0)
      << "one of ours is asked about";
  ::SendMessageW(window_, WM_MDIVIEW_ACTIVATE, stranger, 0);
  ::SendMessageW(window_, WM_MDIVIEW_CLOSE, stranger, 0);
  ::SendMessageW(window_, WM_MDIVIEW_FOCUS, stranger, 0);
  ::SendMessageW(window_, WM_MDIVIEW_FOCUS, reinterpret_cast<WPARAM>(View(0).Get()), 0);
  EXPECT_THAT(Heard(), ElementsAre(L"OnStateChange(0,1)", L"OnSetFocus(2)", L"OnSetFocus(0)"));
  LONG count = 0;
  EXPECT_TRUE(SUCCEEDED(frame_->get_Count(&count)) && count == 2);
  VARIANT active = {};
  ASSERT_EQ(frame_->get_Active(&active), S_OK);
  ASSERT_EQ(active.vt, VT_DISPATCH);
  EXPECT_EQ(active.pdispVal, static_cast<IDispatch*>(View(1).Get()))
      << "the last view stays active";
  ::VariantClear(&active);
}

TEST_F(MDIFrameHosted, PageClosingEveryViewWhileOneIsMadeFreesNothingUnderneath) {
  onEvent_ = [this](const FiredEvent& event) {
    if (event.name == L"OnSetFocus") (void)frame_->CloseAll();
  };
  EXPECT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  LONG count = -1;
  EXPECT_TRUE(SUCCEEDED(frame_->get_Count(&count)) && count == 0);
  EXPECT_THAT(Heard(), ElementsAre(L"OnSetFocus(0)")) << "a view that is gone is not announced";
  onEvent_ = nullptr;
  EXPECT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  EXPECT_THAT(Heard(), ElementsAre(L"OnSetFocus(0)", L"OnCreate(0)"));
}

TEST_F(MDIFrameHosted, MaximisedViewsFillTheFrameAndFollowItsSizeAndCaptionSetting) {
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, kViewMaximized), S_OK);
  const HWND view = View(0)->Window();
  const auto expect_filling = [&](bool caption) {
    RECT client = {};
    RECT placed = {};
    ASSERT_TRUE(::GetClientRect(window_, &client));
    ASSERT_TRUE(::GetClientRect(view, &placed));
    ::MapWindowPoints(view, window_, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(View(0)->CurrentState(), kViewMaximized);
    EXPECT_EQ((Style(view) & WS_CAPTION) == WS_CAPTION, caption);
    // The page gets the whole client area's size, less the caption bar when it keeps one.
    // (Wine places a maximised child without caption one pixel up and left.)
    EXPECT_EQ(placed.right - placed.left, client.right);
    if (caption) {
      EXPECT_EQ(placed.bottom - placed.top + ::GetSystemMetrics(SM_CYCAPTION), client.bottom);
    } else {
      EXPECT_EQ(placed.bottom - placed.top, client.bottom);
    }
  };
  expect_filling(false);

  ComPtr<IOleInPlaceObject> in_place;
  ASSERT_EQ(frame_.As(&in_place), S_OK);
  const RECT larger = {0, 0, 520, 410};
  ASSERT_EQ(in_place->SetObjectRects(&larger, &larger), S_OK);
  expect_filling(false);

  ASSERT_EQ(frame_->put_MaxCaption(VARIANT_TRUE), S_OK);
  expect_filling(true);
  ASSERT_EQ(frame_->put_MaxCaption(VARIANT_FALSE), S_OK);
  expect_filling(false);
}

TEST_F(MDIFrameHosted, KeysGoToTheContainerExceptTabAndNavigationKeys) {
  ComPtr<IOleInPlaceActiveObject> active;
  ASSERT_EQ(frame_.As(&active), S_OK);
  struct Case {
    UINT message;
    WPARAM key;
    HRESULT expected;  // the host's site translates nothing: S_FALSE is its answer
  } const cases[] =
      {
          {WM_KEYDOWN, VK_TAB, S_OK},  // no active view: Tab stays with the frame
          {WM_KEYUP, VK_TAB, S_OK},       {WM_KEYDOWN, VK_DOWN, S_FALSE},
          {WM_KEYDOWN, VK_HOME, S_FALSE}, {WM_KEYDOWN, 'A', S_FALSE},
          {WM_CHAR, VK_TAB, S_FALSE},  // not a key press: the container's translation
      };
  for (const auto& c : cases) {
    MSG message = {window_, c.message, c.key, 0};
    EXPECT_EQ(active->TranslateAccelerator(&message), c.expected) << c.message << " " << c.key;
  }
}

// No page listening: every state change the user asks for is allowed; and the views go with the
// frame's window while a reference to one stays usable.
TEST(MDIFrame, WithoutASinkStateChangesAreAllowedAndViewsGoWithTheWindow) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  CControlContainer container;
  ASSERT_EQ(container.CreateWindowIn(nullptr, {0, 0, 400, 300}, L"no sink"), S_OK);
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  ASSERT_EQ(container.Host(static_cast<IMDIFrame*>(frame.Get()), L"frame", nullptr, nullptr), S_OK);
  ASSERT_EQ(container.ConnectSite(), S_OK);
  ASSERT_EQ(container.Activate(), S_OK);
  ASSERT_EQ(frame->CreateView(nullptr, nullptr, 0), S_OK);
  VARIANT result = {};
  ASSERT_EQ(frame->get_View(0, &result), S_OK);
  ComPtr<IChildView> view;
  ASSERT_EQ(result.pdispVal->QueryInterface(IID_PPV_ARGS(&view)), S_OK);
  ::VariantClear(&result);
  const HWND window = static_cast<CChildView*>(view.Get())->Window();
  ::SendMessageW(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  LONG state = -1;
  EXPECT_EQ(view->get_State(&state), S_OK);
  EXPECT_EQ(state, kViewMaximized);

  container.Close();
  EXPECT_FALSE(::IsWindow(window));
  LONG width = 0xdeadbeef;
  LONG left = 0xdeadbeef;
  EXPECT_EQ(view->get_Width(&width), S_OK);
  EXPECT_EQ(width, -1);
  EXPECT_EQ(view->get_Left(&left), E_FAIL);
  EXPECT_EQ(left, static_cast<LONG>(0xdeadbeef));
  EXPECT_EQ(view->put_Top(5), S_OK);
}

TEST(MDIFrame, AnswersTheStandardControlInterfacesSafelyForScript) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  // clang-format off
  const IID answered[] = {
      IID_IMDIFrame, IID_IDispatch, IID_IViewObjectEx, IID_IViewObject2, IID_IViewObject,
      IID_IOleInPlaceObjectWindowless, IID_IOleInPlaceObject, IID_IOleWindow,
      IID_IOleInPlaceActiveObject, IID_IOleControl, IID_IOleObject, IID_IPersistStreamInit,
      IID_IPersist, IID_ISupportErrorInfo, IID_IConnectionPointContainer,
      IID_ISpecifyPropertyPages, IID_IQuickActivate, IID_IPersistStorage, IID_IDataObject,
      IID_IProvideClassInfo, IID_IProvideClassInfo2, IID_IObjectSafety, IID_IPersistPropertyBag};
  // clang-format on
  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(frame.As(&safety), S_OK);
  for (const IID& iid : answered) {
    ComPtr<IUnknown> answer;
    EXPECT_EQ(frame->QueryInterface(iid, reinterpret_cast<void**>(answer.GetAddressOf())), S_OK);
    DWORD supported = 0xdeadbeef;
    DWORD enabled = 0xdeadbeef;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER |
                                            INTERFACESAFE_FOR_UNTRUSTED_DATA));
    EXPECT_EQ(enabled, 0u);
  }
  DWORD supported = 0xdeadbeef;
  DWORD enabled = 0xdeadbeef;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IChildView, &supported, &enabled), E_NOINTERFACE);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                              INTERFACESAFE_FOR_UNTRUSTED_CALLER),
            S_OK);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 0x10, 0x10), E_FAIL);
  ComPtr<IConnectionPointContainer> points;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(frame.As(&points), S_OK);
  EXPECT_EQ(points->FindConnectionPoint(DIID__IMDIFrameEvents, &point), S_OK);
  // No view: indexes are refused and the caller's VARIANT stays as it was.
  VARIANT result = {};
  result.vt = VT_I4;
  result.lVal = 0xdeadbeef;
  EXPECT_EQ(frame->get_View(-1, &result), E_INVALIDARG);
  EXPECT_EQ(frame->get_View(0, &result), E_INVALIDARG);
  EXPECT_EQ(frame->get_Active(&result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, static_cast<LONG>(0xdeadbeef));
}

}  // namespace
