#include "installer/labeled_progress_ctrl.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <utility>
#include <vector>

#include "common/scoped_owner.h"
#include "common/scoped_selection.h"

namespace {

bool EmptyRange(int lower, int upper) { return lower >= upper; }

double Fraction(int pos, int lower, int upper) {
  return (static_cast<double>(pos) - lower) / (static_cast<double>(upper) - lower);
}

// Toward zero; far outside the range the value would not fit an int, where it only has to stay
// on the same side.
int Truncate(double value) {
  return static_cast<int>(
      std::clamp(value, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

void FillWith(HDC dc, const RECT& rect, COLORREF colour) {
  if (rect.left >= rect.right) return;
  ScopedGdiObject brush(::CreateSolidBrush(colour));
  ::FillRect(dc, &rect, static_cast<HBRUSH>(brush.Get()));
}

void DrawClipped(HDC dc, const std::wstring& text, RECT client, const RECT& clip, COLORREF colour) {
  if (clip.left >= clip.right) return;
  const int saved = ::SaveDC(dc);
  ::IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
  ::SetTextColor(dc, colour);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  ::RestoreDC(dc, saved);
}

}  // namespace

bool CLabeledProgressCtrl::Attach(HWND control) {
  Unsubclass();
  if (control == nullptr || FAILED(Subclass(control))) return false;
  lastWidth_ = -1;
  ::InvalidateRect(control, nullptr, FALSE);
  return true;
}

bool CLabeledProgressCtrl::ProcessMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  bool handled = true;
  result = OnMessage(msg, wParam, lParam, handled);
  return handled;
}

LRESULT CLabeledProgressCtrl::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  switch (msg) {
    case PBM_SETRANGE32:
    case PBM_SETRANGE: {
      const int oldLower = lower_, oldUpper = upper_;
      if (msg == PBM_SETRANGE32) {
        lower_ = static_cast<int>(wParam);
        upper_ = static_cast<int>(lParam);
      } else {
        lower_ = LOWORD(lParam);
        upper_ = HIWORD(lParam);
      }
      ApplyPos(pos_);  // the same position may now fill a different width
      return MAKELRESULT(oldLower, oldUpper);
    }
    case PBM_SETPOS:
      return ApplyPos(static_cast<int>(wParam));
    case PBM_DELTAPOS:
      return ApplyPos(pos_ + static_cast<int>(wParam));
    case PBM_STEPIT:
      return ApplyPos(pos_ + step_);
    case PBM_SETSTEP:
      return std::exchange(step_, static_cast<int>(wParam));
    case PBM_GETPOS:
      return pos_;
    case PBM_GETRANGE:
      if (auto* range = reinterpret_cast<PBRANGE*>(lParam); range != nullptr) {
        range->iLow = lower_;
        range->iHigh = upper_;
      }
      return wParam ? lower_ : upper_;
    case kShowTextMessage: {
      const bool show = wParam != 0;
      if (show != showText_) {
        showText_ = show;
        if (Handle() != nullptr) ::InvalidateRect(Handle(), nullptr, FALSE);
      }
      return 0;
    }
    case WM_SETTEXT: {
      const wchar_t* text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
      if (Handle() != nullptr && Label() != text) ::InvalidateRect(Handle(), nullptr, FALSE);
      handled = false;  // the window keeps the text
      return 0;
    }
    case WM_SIZE:
      lastWidth_ = -1;
      handled = false;
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painting covers the whole client; erasing first would only flicker
    case WM_PAINT: {
      PAINTSTRUCT ps;
      if (HDC dc = ::BeginPaint(Handle(), &ps); dc != nullptr) {
        Paint(dc);
        ::EndPaint(Handle(), &ps);
      }
      ++paintCount_;
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      handled = false;
      return 0;
  }
}

int CLabeledProgressCtrl::ApplyPos(int pos) {
  const int old = std::exchange(pos_, pos);
  int width = 0;
  if (!EmptyRange(lower_, upper_) && Handle() != nullptr) {
    RECT client{};
    ::GetClientRect(Handle(), &client);
    width = Truncate(Fraction(pos_, lower_, upper_) * (client.right - client.left));
  }
  if (width != lastWidth_) {
    lastWidth_ = width;
    // Shown at once: the dialog advances the bar in a loop that does not pump messages.
    if (Handle() != nullptr) {
      ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
  }
  return old;
}

void CLabeledProgressCtrl::Paint(HDC target) {
  if (target == nullptr || Handle() == nullptr || EmptyRange(lower_, upper_)) return;
  RECT client{};
  ::GetClientRect(Handle(), &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return;

  if (::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) {
    PaintParts(target, client);
    return;
  }
  // Composed off screen so the two parts and the text never show half drawn.
  ScopedDc memory(::CreateCompatibleDC(target));
  ScopedGdiObject bitmap(::CreateCompatibleBitmap(target, width, height));
  if (!memory || !bitmap) {
    PaintParts(target, client);
    return;
  }
  ScopedSelection selected(memory.Get(), bitmap.Get());
  const RECT local{0, 0, width, height};
  PaintParts(memory.Get(), local);
  ::BitBlt(target, client.left, client.top, width, height, memory.Get(), 0, 0, SRCCOPY);
}

void CLabeledProgressCtrl::PaintParts(HDC dc, const RECT& client) {
  const double fraction = Fraction(pos_, lower_, upper_);
  const double clamped = std::clamp(fraction, 0.0, 1.0);
  const int split = client.left + static_cast<int>((client.right - client.left) * clamped);
  const RECT filled{client.left, client.top, split, client.bottom};
  const RECT empty{split, client.top, client.right, client.bottom};
  FillWith(dc, filled, barColour_);
  FillWith(dc, empty, backColour_);
  if (!showText_) return;

  std::wstring text = Label();
  if (text.empty()) {
    wchar_t percent[16];
    std::swprintf(percent, 16, L"%d%%", Truncate(fraction * 100));
    text = percent;
  }
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(Handle(), WM_GETFONT, 0, 0));
  ScopedSelection fontSelected(dc, font);
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  DrawClipped(dc, text, client, filled, textOnBarColour_);
  DrawClipped(dc, text, client, empty, textOnBackColour_);
  ::SetBkMode(dc, oldMode);
}

void CLabeledProgressCtrl::SetRange(int lower, int upper) {
  if (Handle() != nullptr) {
    ::SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(lower),
                   static_cast<LPARAM>(upper));
  } else {
    lower_ = lower;
    upper_ = upper;
  }
}

int CLabeledProgressCtrl::SetPos(int pos) {
  if (Handle() == nullptr) return std::exchange(pos_, pos);
  return static_cast<int>(::SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(pos), 0));
}

int CLabeledProgressCtrl::StepIt() {
  if (Handle() == nullptr) return std::exchange(pos_, pos_ + step_);
  return static_cast<int>(::SendMessageW(Handle(), PBM_STEPIT, 0, 0));
}

int CLabeledProgressCtrl::SetStep(int step) {
  if (Handle() == nullptr) return std::exchange(step_, step);
  return static_cast<int>(::SendMessageW(Handle(), PBM_SETSTEP, static_cast<WPARAM>(step), 0));
}

void CLabeledProgressCtrl::ShowText(bool show) {
  if (Handle() == nullptr) {
    showText_ = show;
  } else {
    ::SendMessageW(Handle(), kShowTextMessage, show ? 1 : 0, 0);
  }
}

void CLabeledProgressCtrl::SetLabel(const std::wstring& label) {
  if (Handle() != nullptr) ::SetWindowTextW(Handle(), label.c_str());
}

std::wstring CLabeledProgressCtrl::Label() const {
  if (Handle() == nullptr) return {};
  const int length = ::GetWindowTextLengthW(Handle());
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(Handle(), text.data(), length + 1);
  return text.data();
}
