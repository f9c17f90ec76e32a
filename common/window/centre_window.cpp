#include "common/window/centre_window.h"

#include <algorithm>

void CentreWindowOver(HWND window, HWND over) {
  RECT work = {};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return;
  RECT target = work;
  if (over != nullptr && over != window) (void)::GetWindowRect(over, &target);
  RECT mine = {};
  if (!::GetWindowRect(window, &mine)) return;
  const LONG width = mine.right - mine.left;
  const LONG height = mine.bottom - mine.top;
  LONG x = target.left + ((target.right - target.left) - width) / 2;
  LONG y = target.top + ((target.bottom - target.top) - height) / 2;
  x = std::max(work.left, std::min(x, work.right - width));
  y = std::max(work.top, std::min(y, work.bottom - height));
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
