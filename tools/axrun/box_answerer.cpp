#include "tools/axrun/box_answerer.h"

#include <algorithm>

namespace {

constexpr UINT kLookMilliseconds = 50;
// The message box's text is the static control of this id.
constexpr int kBoxTextId = 0xFFFF;

std::wstring WindowText(HWND window) {
  const int length = ::GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

// A dialog with the box's text and at least one of its buttons: a message box, not some other
// dialog of the control.
bool IsMessageBox(HWND window) {
  wchar_t name[16] = {};
  if (::GetClassNameW(window, name, 16) == 0 || std::wstring_view(name) != L"#32770") return false;
  if (::GetDlgItem(window, kBoxTextId) == nullptr) return false;
  for (const int button : {IDOK, IDCANCEL, IDYES, IDNO}) {
    if (::GetDlgItem(window, button) != nullptr) return true;
  }
  return false;
}

}  // namespace

void CBoxAnswerer::AnswerWith(int button) {
  button_ = button;
  if (button != 0 && timer_ == 0) {
    active_ = this;
    timer_ = ::SetTimer(nullptr, 0, kLookMilliseconds, &CBoxAnswerer::OnTimer);
  } else if (button == 0 && timer_ != 0) {
    ::KillTimer(nullptr, timer_);
    timer_ = 0;
    active_ = nullptr;
  }
}

void CALLBACK CBoxAnswerer::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  CBoxAnswerer* self = active_;
  if (self == nullptr) return;
  std::erase_if(self->pressed_, [](HWND box) { return !::IsWindow(box); });
  ::EnumThreadWindows(::GetCurrentThreadId(), &CBoxAnswerer::OnWindow,
                      reinterpret_cast<LPARAM>(self));
}

BOOL CALLBACK CBoxAnswerer::OnWindow(HWND window, LPARAM self) {
  if (IsMessageBox(window)) reinterpret_cast<CBoxAnswerer*>(self)->Answer(window);
  return TRUE;
}

void CBoxAnswerer::Answer(HWND box) {
  if (std::find(pressed_.begin(), pressed_.end(), box) != pressed_.end()) return;
  pressed_.push_back(box);
  seen_.push_back(WindowText(box) + L": " + WindowText(::GetDlgItem(box, kBoxTextId)));
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, button_)));
}
