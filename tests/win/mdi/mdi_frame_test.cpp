// The frame hosted as a page hosts it, driven through IMDIFrame and through the window messages
// that the user's actions and other programs make.
#include "mdi/mdi_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <objsafe.h>

#include <functional>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "common/container/control_container.h"
#include "mdi/view_messages.h"
#include "tests/win/canvas.h"
#include "tests/win/http_test_server.h"
#include "tests/win/mdi/bitmap_file.h"
#include "tests/win/pump_until.h"
#include "tests/win/stream_bytes.h"
#include "tools/control_host/control_host.h"
#include "tools/control_host/property_bag.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

constexpr WPARAM kMaximizeFromCaption = SC_MAXIMIZE + 2;
constexpr WPARAM kRestoreFromCaption = SC_RESTORE + 2;

LONG Style(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }

constexpr COLORREF kMarker = RGB(1, 2, 3);  // what the canvas holds where nothing was drawn

// The frame drawn through IViewObject, as a container prints it, into canvas at bounds.
HRESULT DrawFrame(CMDIFrame* frame, const Canvas& canvas, const RECT& bounds) {
  ComPtr<IViewObject> view;
  if (FAILED(frame->QueryInterface(IID_PPV_ARGS(&view)))) return E_NOINTERFACE;
  const RECTL area = {bounds.left, bounds.top, bounds.right, bounds.bottom};
  return view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), &area, nullptr,
                    nullptr, 0);
}

// The colour inside the frame's border.
COLORREF Background(CMDIFrame* frame) {
  const Canvas canvas(8, 8, kMarker);
  return SUCCEEDED(DrawFrame(frame, canvas, {0, 0, 8, 8})) ? canvas.At(4, 4) : kMarker;
}

// A view's window in frame coordinates, as the page reads it.
struct Place {
  LONG x, y, width, height;
  bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Place& p) {
  return out << "(" << p.x << "," << p.y << " " << p.width << "x" << p.height << ")";
}

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
  Place PlaceOf(LONG index) {
    Place place = {-1, -1, -1, -1};
    const ComPtr<CChildView> view = View(index);
    if (view == nullptr) return place;
    (void)view->get_Left(&place.x);
    (void)view->get_Top(&place.y);
    (void)view->get_Width(&place.width);
    (void)view->get_Height(&place.height);
    return place;
  }
  std::vector<Place> Places() {
    std::vector<Place> places;
    LONG count = 0;
    (void)frame_->get_Count(&count);
    for (LONG i = 0; i < count; ++i) places.push_back(PlaceOf(i));
    return places;
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

TEST_F(MDIFrameHosted, CascadeUsesTheDefaultSizeAndPutsTheActiveViewLastAndOnTop) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(View(1)->put_Focus(VARIANT_TRUE), S_OK);
  ASSERT_EQ(frame_->put_DefaultWidth(120), S_OK);
  ASSERT_EQ(frame_->put_DefaultHeight(90), S_OK);
  EXPECT_EQ(frame_->Sort(SORT_CASCADE), S_OK);
  const LONG step = ::GetSystemMetrics(SM_CYFRAME) + ::GetSystemMetrics(SM_CYCAPTION);
  EXPECT_THAT(Places(), ElementsAre(Place{0, 0, 120, 90}, Place{2 * step, 2 * step, 120, 90},
                                    Place{step, step, 120, 90}));
  EXPECT_EQ(::GetWindow(window_, GW_CHILD), View(1)->Window()) << "the active view on top";
}

TEST_F(MDIFrameHosted, TilesTakeFloorSqrtColumnsOrRowsWithTheRemainderInTheFirstColumns) {
  RECT client = {};
  ASSERT_TRUE(::GetClientRect(window_, &client));
  const LONG w = client.right;
  const LONG h = client.bottom;
  const struct {
    LONG method;
    std::vector<Place> places;  // in list order
  } cases[] = {
      // Five views in two columns: the first holds three.
      {SORT_TILE_COLUMNS,
       {{0, 0, w / 2, h / 3},
        {w / 2, 0, w / 2, h / 2},
        {0, h / 3, w / 2, h / 3},
        {w / 2, h / 2, w / 2, h / 2},
        {0, 2 * (h / 3), w / 2, h / 3}}},
      // Six views in two rows: three columns of two.
      {SORT_TILE_ROWS,
       {{0, 0, w / 3, h / 2},
        {w / 3, 0, w / 3, h / 2},
        {2 * (w / 3), 0, w / 3, h / 2},
        {0, h / 2, w / 3, h / 2},
        {w / 3, h / 2, w / 3, h / 2},
        {2 * (w / 3), h / 2, w / 3, h / 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.method << " in " << w << "x" << h);
    ASSERT_EQ(frame_->CloseAll(), S_OK);
    for (size_t i = 0; i < c.places.size(); ++i) {
      ASSERT_EQ(frame_->CreateView(nullptr, nullptr, 0), S_OK);
    }
    EXPECT_EQ(frame_->Sort(c.method), S_OK);
    EXPECT_EQ(Places(), c.places);
  }
}

// Minimised views keep to the bottom row; the others share what is above it, and a maximised
// one is restored with its caption. Any other method leaves every view where it is.
TEST_F(MDIFrameHosted, SortKeepsMinimisedViewsInTheBottomRowAndRestoresMaximisedOnes) {
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, kViewMinimized), S_OK);
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, kViewMaximized), S_OK);
  ASSERT_EQ(frame_->CreateView(nullptr, nullptr, kViewNormal), S_OK);
  ASSERT_EQ(Style(View(1)->Window()) & WS_CAPTION, 0);
  RECT client = {};
  ASSERT_TRUE(::GetClientRect(window_, &client));
  const LONG row = ::GetSystemMetrics(SM_CYMINIMIZED);
  const LONG cell = (client.bottom - row) / 2;
  EXPECT_EQ(frame_->Sort(SORT_TILE_COLUMNS), S_OK);
  const std::vector<Place> sorted = Places();
  ASSERT_EQ(sorted.size(), 3u);
  EXPECT_EQ(sorted[0].x, 0);
  EXPECT_EQ(sorted[0].y, client.bottom - row);
  EXPECT_EQ(View(0)->CurrentState(), kViewMinimized);
  EXPECT_EQ(sorted[1], (Place{0, 0, client.right, cell}));
  EXPECT_EQ(sorted[2], (Place{0, cell, client.right, cell}));
  EXPECT_EQ(View(1)->CurrentState(), kViewNormal);
  EXPECT_EQ(Style(View(1)->Window()) & WS_CAPTION, WS_CAPTION);

  for (const LONG method : {0L, 4L, -1L}) {
    EXPECT_EQ(frame_->Sort(method), S_OK);
    EXPECT_EQ(Places(), sorted) << method;
  }
}

TEST(MDIFrame, BackgroundIsTheBgColorWithTheBorderInsideOrOutside) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  const COLORREF red = RGB(255, 0, 0);
  const COLORREF black = RGB(0, 0, 0);
  const struct {
    const wchar_t* text;  // null: as the frame starts
    VARIANT_BOOL border;
    COLORREF inside;
  } cases[] = {
      {nullptr, VARIANT_TRUE, RGB(169, 169, 169)},
      {L"#FF0000", VARIANT_TRUE, red},
      {L"RED", VARIANT_FALSE, red},
      {L"255", 1, red},  // only VARIANT_TRUE draws the border
      {L"#F", VARIANT_TRUE, RGB(0xF0, 0, 0)},
      {L"#", VARIANT_FALSE, black},
      {L"none", VARIANT_TRUE, RGB(0, 0, 255)},
      // A text that names no colour shows the window colour.
      {L"fuchsia", VARIANT_TRUE, ::GetSysColor(COLOR_WINDOW)},
      {L"cornflowerblue", VARIANT_FALSE, ::GetSysColor(COLOR_WINDOW)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.text ? c.text : L"(default)") << " " << c.border);
    if (c.text != nullptr) {
      ScopedBstr text;
      ASSERT_EQ(text.Assign(c.text), S_OK);
      EXPECT_EQ(frame->put_BgColor(text.Get()), S_OK);
      ScopedBstr read;
      EXPECT_EQ(frame->get_BgColor(read.Receive()), S_OK);
      EXPECT_EQ(read.View(), c.text);
    }
    EXPECT_EQ(frame->put_Border(c.border), S_OK);
    const Canvas canvas(40, 30, kMarker);
    ASSERT_EQ(DrawFrame(frame.Get(), canvas, {0, 0, 40, 30}), S_OK);
    const COLORREF edge = c.border == VARIANT_TRUE ? black : c.inside;
    EXPECT_EQ(canvas.At(0, 0), edge);
    EXPECT_EQ(canvas.At(39, 29), edge);
    EXPECT_EQ(canvas.At(20, 0), edge);
    EXPECT_EQ(canvas.Count(c.inside, 1, 39), c.border == VARIANT_TRUE ? 38 * 28 : 38 * 30);
    EXPECT_EQ(canvas.Count(kMarker), 0) << "every pixel is painted";
  }
}

// The picture comes beside the page and is drawn into the context the container gives, at the
// top-left of the frame, not onto the frame's window; an empty BackImage removes it at once.
TEST(MDIFrame, BackImageIsFetchedBesideThePageAndDrawnIntoTheGivenContext) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  HttpTestServer server;
  ASSERT_TRUE(server.Listening());
  const COLORREF colour = RGB(0x12, 0x34, 0x56);
  server.Script("/pages/back.bmp", {200, "image/bmp", BitmapFile(4, 2, colour)});
  CControlHost host;
  host.SetPageUrl(server.Url("/pages/page.html"));
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  ASSERT_EQ(host.HostObject(static_cast<IMDIFrame*>(frame.Get()), CLSID_MDIFrame), S_OK);
  ASSERT_EQ(host.Activate(), S_OK);
  ScopedBstr url;
  ASSERT_EQ(url.Assign(L"back.bmp"), S_OK);
  EXPECT_EQ(frame->put_BackImage(url.Get()), S_OK);
  const Canvas canvas(50, 40, kMarker);
  const RECT bounds = {5, 6, 45, 36};
  EXPECT_TRUE(PumpUntil([&] {
    return SUCCEEDED(DrawFrame(frame.Get(), canvas, bounds)) && canvas.Count(colour) != 0;
  }));
  EXPECT_EQ(canvas.Count(colour), 4 * 2);
  for (const POINT p : {POINT{5, 6}, POINT{8, 6}, POINT{5, 7}, POINT{8, 7}}) {
    EXPECT_EQ(canvas.At(p.x, p.y), colour) << p.x << "," << p.y;
  }
  ASSERT_EQ(server.Exchanges().size(), 1u);
  EXPECT_EQ(server.Exchanges()[0].path, "/pages/back.bmp");

  ScopedBstr empty;
  ASSERT_EQ(empty.Assign(L""), S_OK);
  EXPECT_EQ(frame->put_BackImage(empty.Get()), S_OK);
  const Canvas after(50, 40, kMarker);
  ASSERT_EQ(DrawFrame(frame.Get(), after, bounds), S_OK);
  EXPECT_EQ(after.Count(colour), 0);
  host.Close();
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

// What the frame keeps, in the order of its saved stream, then the colour it paints and
// MaxCaption, which is not kept.
std::vector<std::wstring> Kept(CMDIFrame* frame) {
  ComPtr<IOleObject> object;
  SIZEL extent = {-1, -1};
  if (SUCCEEDED(frame->QueryInterface(IID_PPV_ARGS(&object)))) {
    (void)object->GetExtent(DVASPECT_CONTENT, &extent);
  }
  ScopedBstr color;
  ScopedBstr image;
  LONG width = -1;
  LONG height = -1;
  VARIANT_BOOL border = 1;
  VARIANT_BOOL max_caption = 1;
  (void)frame->get_BgColor(color.Receive());
  (void)frame->get_DefaultWidth(&width);
  (void)frame->get_DefaultHeight(&height);
  (void)frame->get_Border(&border);
  (void)frame->get_BackImage(image.Receive());
  (void)frame->get_MaxCaption(&max_caption);
  return {std::to_wstring(extent.cx),
          std::to_wstring(extent.cy),
          color.Text(),
          std::to_wstring(width),
          std::to_wstring(height),
          std::to_wstring(border),
          image.Text(),
          std::to_wstring(Background(frame)),
          std::to_wstring(max_caption)};
}

HRESULT LoadStream(CMDIFrame* frame, const std::vector<BYTE>& bytes) {
  ComPtr<IPersistStreamInit> persist;
  const HRESULT hr = frame->QueryInterface(IID_PPV_ARGS(&persist));
  return FAILED(hr) ? hr : persist->Load(StreamOf(bytes).Get());
}

// A frame of extent 2000 x 1000 with its defaults, byte for byte.
const std::vector<BYTE> kFreshStream = {
    0x00, 0x03, 0x00, 0x00, 0xD0, 0x07, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x08, 0x00, 0x12,
    0x00, 0x00, 0x00, 'd',  0,    'a',  0,    'r',  0,    'k',  0,    'g',  0,    'r',  0,
    'a',  0,    'y',  0,    0,    0,    0x03, 0x00, 0x2C, 0x01, 0x00, 0x00, 0x03, 0x00, 0xC8,
    0x00, 0x00, 0x00, 0x0B, 0x00, 0xFF, 0xFF, 0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(MDIFramePersistence, FreshFrameIsSavedAsTheSixtyBytesInAStreamAndAsAStoragesContents) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  ComPtr<IOleObject> object;
  ComPtr<IPersistStreamInit> stream_persist;
  ComPtr<IPersistStorage> storage_persist;
  ASSERT_EQ(frame.As(&object), S_OK);
  ASSERT_EQ(frame.As(&stream_persist), S_OK);
  ASSERT_EQ(frame.As(&storage_persist), S_OK);
  SIZEL extent = {2000, 1000};
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  const ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(stream_persist->Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(StreamBytes(stream.Get()), kFreshStream);

  ComPtr<ILockBytes> bytes;
  ComPtr<IStorage> storage;
  ComPtr<IStream> contents;
  ASSERT_EQ(::CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
  ASSERT_EQ(::StgCreateDocfileOnILockBytes(
                bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
            S_OK);
  ASSERT_EQ(storage_persist->Save(storage.Get(), TRUE), S_OK);
  ASSERT_EQ(
      storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &contents),
      S_OK);
  EXPECT_EQ(StreamBytes(contents.Get()), kFreshStream);
}

// What a page's PARAMs name changes; the rest keeps its default.
TEST(MDIFramePersistence, BagWithOnlyBgColorChangesOnlyTheColour) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  std::vector<std::wstring> expected = Kept(MakeComObject<CMDIFrame>().Get());
  const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
  const auto bag = MakeComObject<CPropertyBag>();
  bag->Set(L"BgColor", L"navy");
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(frame.As(&persist), S_OK);
  ASSERT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
  expected[2] = L"navy";
  expected[7] = std::to_wstring(RGB(0, 0, 128));
  EXPECT_EQ(Kept(frame.Get()), expected);
}

// The whole stream brings every kept property back (the colour with BgColor); a later version
// changes nothing; a stream cut anywhere keeps the records read before the cut.
TEST(MDIFramePersistence, LoadingAStreamKeepsWhatWasReadBeforeAnyDamage) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  const ComPtr<CMDIFrame> source = MakeComObject<CMDIFrame>();
  ComPtr<IOleObject> object;
  ComPtr<IPersistStreamInit> save;
  ASSERT_EQ(source.As(&object), S_OK);
  ASSERT_EQ(source.As(&save), S_OK);
  SIZEL extent = {3000, 1500};
  ScopedBstr navy;
  ASSERT_EQ(object->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  ASSERT_EQ(navy.Assign(L"navy"), S_OK);
  ASSERT_EQ(source->put_BgColor(navy.Get()), S_OK);
  ASSERT_EQ(source->put_DefaultWidth(111), S_OK);
  ASSERT_EQ(source->put_DefaultHeight(222), S_OK);
  ASSERT_EQ(source->put_Border(VARIANT_FALSE), S_OK);
  ASSERT_EQ(source->put_MaxCaption(VARIANT_TRUE), S_OK);
  const ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(save->Save(stream.Get(), TRUE), S_OK);
  const std::vector<BYTE> bytes = StreamBytes(stream.Get());
  const std::vector<std::wstring> changed = Kept(source.Get());
  const std::vector<std::wstring> fresh = Kept(MakeComObject<CMDIFrame>().Get());
  // Where each record of Kept() ends: the version (4), the extent, "navy" (2 + 4 + 10), two
  // longs (2 + 4), a boolean (2 + 2), the empty BackImage (2 + 4 + 2); the colour is BgColor's.
  const size_t ends[] = {8, 12, 28, 34, 40, 44, 52, 28};
  ASSERT_EQ(bytes.size(), 52u);

  std::vector<BYTE> later = bytes;
  later[0] = 0x01;  // 0x301
  const ComPtr<CMDIFrame> refused = MakeComObject<CMDIFrame>();
  EXPECT_EQ(LoadStream(refused.Get(), later), E_FAIL);
  EXPECT_EQ(Kept(refused.Get()), fresh);

  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    SCOPED_TRACE(testing::Message() << "cut at " << cut);
    const ComPtr<CMDIFrame> frame = MakeComObject<CMDIFrame>();
    EXPECT_EQ(LoadStream(frame.Get(), {bytes.begin(), bytes.begin() + cut}),
              cut == bytes.size() ? S_OK : E_FAIL);
    std::vector<std::wstring> expected = fresh;
    for (size_t i = 0; i < std::size(ends); ++i) {
      if (cut >= ends[i]) expected[i] = changed[i];
    }
    EXPECT_EQ(Kept(frame.Get()), expected);
  }
}

}  // namespace
