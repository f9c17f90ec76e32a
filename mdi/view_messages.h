#pragma once

#include <windows.h>

#include "mdi/core/sort_moves.h"

// What a view tells its frame. Each carries the sending view (a CChildView*), which the frame
// only uses once it has found it in its own list: any program can send these.
// Sent; wParam: the view. The frame makes it the active view.
constexpr UINT WM_MDIVIEW_ACTIVATE = WM_USER + 110;
// Posted; wParam: the view. The frame removes and destroys it.
constexpr UINT WM_MDIVIEW_CLOSE = WM_USER + 111;
// Sent; wParam: the requested ViewState, lParam: the view. The result is 1 when the page allows
// the change, 0 when it refuses.
constexpr UINT WM_MDIVIEW_STATE = WM_USER + 112;
// wParam: the view. The frame raises OnSetFocus with its index; nothing of ours sends it.
constexpr UINT WM_MDIVIEW_FOCUS = WM_USER + 113;

// A view's state (Sort's ViewState) as script numbers it: read from its window's style; also
// CreateView's flag and OnStateChange's state.
constexpr LONG kViewNormal = static_cast<LONG>(ViewState::kNormal);
constexpr LONG kViewMaximized = static_cast<LONG>(ViewState::kMaximized);
constexpr LONG kViewMinimized = static_cast<LONG>(ViewState::kMinimized);
