#include "installer/labeled_progress_ctrl.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "common/scoped_owner.h"
#include "tests/win/canvas.h"

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 20;
constexpr COLORREF kMarker = RGB(1, 2, 3);

LRESULT Send(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
  return ::SendMessageW(window, msg, wParam, lParam);
}

// The bar's size, filled with the marker, for WM_PRINTCLIENT.
class BarCanvas : public Canvas {
 public:
  BarCanvas() : Canvas(kWidth, kHeight, kMarker) {}
};

// A shown top-level window with a 200x20 progress control in it, attached. Only windows on
// screen get WM_PAINT, so the parent is shown (headless, nothing reaches a display).
class LabeledProgress : public testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    parent_.Reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 300, 100,
                                    nullptr, nullptr, nullptr, nullptr));
    control_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 10, 10, kWidth,
                                 kHeight, parent_.Get(), nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, control_);
    ASSERT_TRUE(bar_.Attach(control_));
    ::ShowWindow(parent_.Get(), SW_SHOWNOACTIVATE);
    Pump();
  }

  static void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
  }
  // WM_PAINTs handled by the bar while the action runs and the queue is then emptied.
  template <typename Action>
  int PaintsDuring(Action action) {
    Pump();
    const int before = bar_.PaintCount();
    action();
    Pump();
    return bar_.PaintCount() - before;
  }
  void Print(const Canvas& canvas) {
    Send(control_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_CLIENT);
  }

  ScopedWindow parent_;
  HWND control_ = nullptr;
  CLabeledProgressCtrl bar_;
};

TEST_F(LabeledProgress, StartsAtZeroOfAHundredAndOperationsReturnTheOldValueUnlimited) {
  EXPECT_EQ(0, Send(control_, PBM_GETPOS));
  EXPECT_EQ(0, Send(control_, PBM_GETRANGE, TRUE));
  EXPECT_EQ(100, Send(control_, PBM_GETRANGE, FALSE));
  EXPECT_TRUE(bar_.TextShown());
  EXPECT_EQ(-1, bar_.LastWidth());  // nothing positioned yet

  bar_.SetRange(0, 10);
  EXPECT_EQ(0, bar_.SetPos(9));
  EXPECT_EQ(1, bar_.SetStep(2));
  EXPECT_EQ(9, bar_.StepIt());
  EXPECT_EQ(11, bar_.StepIt());
  EXPECT_EQ(13, Send(control_, PBM_STEPIT));
  EXPECT_EQ(15, Send(control_, PBM_SETPOS, static_cast<WPARAM>(-4)));
  EXPECT_EQ(-4, Send(control_, PBM_GETPOS));
  EXPECT_EQ(-4, bar_.Pos());
  EXPECT_EQ(2, Send(control_, PBM_SETSTEP, 5));
  Send(control_, PBM_SETRANGE32, 3, 7);
  PBRANGE range{};
  EXPECT_EQ(7, Send(control_, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range)));
  EXPECT_EQ(3, range.iLow);
  EXPECT_EQ(7, range.iHigh);
  EXPECT_EQ(3, bar_.Lower());
}

TEST_F(LabeledProgress, RepaintsOnlyWhenWhatIsShownChanges) {
  // A label change invalidates; the same label again does not.
  EXPECT_EQ(1, PaintsDuring([&] { bar_.SetLabel(L"Brenvo.cab"); }));
  EXPECT_EQ(0, PaintsDuring([&] { ::SetWindowTextW(control_, L"Brenvo.cab"); }));
  EXPECT_EQ(L"Brenvo.cab", bar_.Label());
  EXPECT_EQ(1,
            PaintsDuring([&] { Send(control_, CLabeledProgressCtrl::kShowTextMessage, FALSE); }));
  EXPECT_EQ(0,
            PaintsDuring([&] { Send(control_, CLabeledProgressCtrl::kShowTextMessage, FALSE); }));
  EXPECT_FALSE(bar_.TextShown());

  // 3 of 1000 over 200 pixels is under one pixel; 5 of 1000 is one.
  Send(control_, PBM_SETRANGE32, 0, 1000);
  EXPECT_EQ(0, PaintsDuring([&] { Send(control_, PBM_SETPOS, 3); }));
  EXPECT_EQ(0, bar_.LastWidth());
  // The width change is painted before SetPos returns, without pumping.
  const int before = bar_.PaintCount();
  Send(control_, PBM_SETPOS, 5);
  EXPECT_EQ(1, bar_.PaintCount() - before);
  EXPECT_EQ(1, bar_.LastWidth());
  EXPECT_EQ(0, PaintsDuring([&] { Send(control_, PBM_STEPIT); }));

  // After a resize the same width is painted again, even at the lower end where it stays 0.
  Send(control_, PBM_SETPOS, 0);
  Pump();
  ::SetWindowPos(control_, nullptr, 0, 0, 150, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  EXPECT_EQ(-1, bar_.LastWidth());
  EXPECT_EQ(1, PaintsDuring([&] { Send(control_, PBM_SETPOS, 0); }));
  EXPECT_EQ(0, PaintsDuring([&] { Send(control_, PBM_SETPOS, 0); }));
}

TEST_F(LabeledProgress, FillsTheBarUpToThePositionClampedToTheClient) {
  Send(control_, CLabeledProgressCtrl::kShowTextMessage, FALSE);
  const COLORREF bar = bar_.BarColour(), back = bar_.BackColour();
  ASSERT_NE(bar, back);
  {
    BarCanvas canvas;
    Send(control_, PBM_SETPOS, 50);
    Print(canvas);
    EXPECT_EQ(kWidth / 2 * kHeight, canvas.Count(bar, 0, kWidth / 2));
    EXPECT_EQ(kWidth / 2 * kHeight, canvas.Count(back, kWidth / 2, kWidth));
  }
  {
    BarCanvas canvas;
    Send(control_, PBM_SETPOS, 250);
    Print(canvas);
    EXPECT_EQ(kWidth * kHeight, canvas.Count(bar));
  }
  {
    BarCanvas canvas;
    Send(control_, PBM_SETPOS, static_cast<WPARAM>(-30));
    Print(canvas);
    EXPECT_EQ(kWidth * kHeight, canvas.Count(back));
  }
}

TEST_F(LabeledProgress, EmptyRangeAndErasingPaintNothing) {
  Send(control_, PBM_SETPOS, 40);
  Send(control_, PBM_SETRANGE32, 50, 50);
  BarCanvas canvas;
  Print(canvas);
  EXPECT_NE(0, Send(control_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.Dc())));
  EXPECT_EQ(kWidth * kHeight, canvas.Count(kMarker));
}

TEST_F(LabeledProgress, TextIsInvertedOverTheFilledPart) {
  const COLORREF bar = bar_.BarColour(), back = bar_.BackColour();
  ASSERT_EQ(bar, bar_.TextOnBackColour());
  ASSERT_EQ(back, bar_.TextOnBarColour());
  bar_.SetLabel(L"HHHHHHHHHHHH");
  Send(control_, PBM_SETPOS, 50);
  BarCanvas canvas;
  Print(canvas);
  // The label straddles the middle: back-coloured strokes left of it, bar-coloured right of it;
  // the ends are clear of text.
  EXPECT_GT(canvas.Count(back, 60, kWidth / 2), 0);
  EXPECT_GT(canvas.Count(bar, kWidth / 2, 140), 0);
  EXPECT_EQ(10 * kHeight, canvas.Count(bar, 0, 10));
  EXPECT_EQ(10 * kHeight, canvas.Count(back, kWidth - 10, kWidth));

  Send(control_, CLabeledProgressCtrl::kShowTextMessage, FALSE);
  BarCanvas plain;
  Print(plain);
  EXPECT_EQ(0, plain.Count(back, 0, kWidth / 2));
  EXPECT_EQ(0, plain.Count(bar, kWidth / 2, kWidth));
}

TEST_F(LabeledProgress, WithoutALabelShowsTheUnclampedPercentageInTheControlFont) {
  ScopedGdiObject font(::CreateFontW(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     NONANTIALIASED_QUALITY, DEFAULT_PITCH, L"Tahoma"));
  Send(control_, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()));
  Send(control_, PBM_SETPOS, 250);
  BarCanvas canvas;
  Print(canvas);

  // What "250%" looks like centred in that font over a full bar.
  BarCanvas expected;
  RECT all{0, 0, kWidth, kHeight};
  ScopedGdiObject fill(::CreateSolidBrush(bar_.BarColour()));
  ::FillRect(expected.Dc(), &all, static_cast<HBRUSH>(fill.Get()));
  const HGDIOBJ oldFont = ::SelectObject(expected.Dc(), font.Get());
  ::SetBkMode(expected.Dc(), TRANSPARENT);
  ::SetTextColor(expected.Dc(), bar_.TextOnBarColour());
  ::DrawTextW(expected.Dc(), L"250%", -1, &all, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  ::SelectObject(expected.Dc(), oldFont);

  EXPECT_GT(canvas.Count(bar_.TextOnBarColour()), 0);
  EXPECT_TRUE(canvas.SameAs(expected));
}

}  // namespace
