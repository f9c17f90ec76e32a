#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The arrangements of the frame's Sort method.
enum SortMethod {
  SORT_CASCADE = 1,       // DefaultWidth x DefaultHeight, one step apart; the active view last
  SORT_TILE_COLUMNS = 2,  // floor(sqrt n) columns
  SORT_TILE_ROWS = 3,     // floor(sqrt n) rows
};

// A view's state as its window style gives it, numbered as the view's State property.
enum class ViewState { kNormal = 0, kMaximized = 1, kMinimized = 2 };

// What Sort reads from the frame and the system when it starts.
struct SortMetrics {
  int32_t clientWidth;      // right of the frame's client rectangle
  int32_t clientHeight;     // bottom of the frame's client rectangle
  int32_t step;             // SM_CYFRAME + SM_CYCAPTION, the cascade offset in x and y
  int32_t minimizedWidth;   // SM_CXMINIMIZED
  int32_t minimizedHeight;  // SM_CYMINIMIZED
  int32_t defaultWidth;     // the frame's DefaultWidth
  int32_t defaultHeight;    // the frame's DefaultHeight
};

// A view's window rectangle in the frame's client coordinates, as MoveWindow takes it.
struct ViewPlace {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  bool operator==(const ViewPlace&) const = default;
};

// One step of Sort: when restore is set, add WS_CAPTION to the view's style and show it with
// SW_SHOWNORMAL; then MoveWindow to place with repainting; then BringWindowToTop, so the view of
// the last step ends up on top.
struct SortMove {
  size_t view;  // position in the view list
  bool restore;
  ViewPlace place;
  bool operator==(const SortMove&) const = default;
};

// The steps of Sort(method) over the views in list order, each view once; active is the active
// view's position, if any. Minimised views go to a row along the bottom with width and height 0,
// left to right, then one row up, and back to the bottom row past the top; the others are arranged
// by method and maximised ones are restored just before they move. In cascade the active view,
// unless minimised, takes the last place and the non-minimised views after it move up one place. A
// method other than SORT_CASCADE, SORT_TILE_COLUMNS and SORT_TILE_ROWS leaves every view as it is:
// no steps.
std::vector<SortMove> SortMoves(int32_t method, const SortMetrics& metrics,
                                std::span<const ViewState> views, std::optional<size_t> active);
