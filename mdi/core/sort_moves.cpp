#include "mdi/core/sort_moves.h"

#include <algorithm>
#include <cmath>

namespace {

// Sums of client sizes, steps and page-chosen default sizes may leave 32 bits; they are worked
// out in 64 and only the places handed out are narrowed.
ViewPlace Place(int64_t x, int64_t y, int64_t width, int64_t height) {
  return {static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(width),
          static_cast<int32_t>(height)};
}

// The row of minimised views along the bottom of the client area.
class MinimizedRow {
 public:
  explicit MinimizedRow(const SortMetrics& metrics)
      : width_(metrics.clientWidth),
        height_(metrics.clientHeight),
        cellWidth_(metrics.minimizedWidth),
        cellHeight_(metrics.minimizedHeight),
        y_(height_ - cellHeight_) {}

  ViewPlace Next() {
    const ViewPlace place = Place(x_, y_, 0, 0);
    x_ += cellWidth_;
    if (x_ + cellWidth_ > width_) {
      x_ = 0;
      y_ -= cellHeight_;
      if (y_ < 0) y_ = height_ - cellHeight_;
    }
    return place;
  }

 private:
  int64_t width_;
  int64_t height_;
  int64_t cellWidth_;
  int64_t cellHeight_;
  int64_t x_ = 0;
  int64_t y_;
};

// Places of the cascade, one step apart, starting again at (0, 0) when the next one would not fit.
class Cascade {
 public:
  Cascade(const SortMetrics& metrics, int64_t usableHeight)
      : metrics_(metrics), usableHeight_(usableHeight) {}

  ViewPlace Next() {
    const ViewPlace place = Place(x_, y_, metrics_.defaultWidth, metrics_.defaultHeight);
    x_ += metrics_.step;
    y_ += metrics_.step;
    if (x_ + metrics_.defaultWidth > metrics_.clientWidth ||
        y_ + metrics_.defaultHeight > usableHeight_) {
      x_ = y_ = 0;
    }
    return place;
  }

 private:
  const SortMetrics& metrics_;
  int64_t usableHeight_;
  int64_t x_ = 0;
  int64_t y_ = 0;
};

// Cells of the tile: floor(sqrt n) columns (or rows), the first n mod floor(sqrt n) columns one
// cell longer.
class Tile {
 public:
  Tile(int32_t method, const SortMetrics& metrics, int64_t usableHeight, size_t count)
      : width_(metrics.clientWidth), usableHeight_(usableHeight) {
    const int64_t n = static_cast<int64_t>(count);
    const int64_t root = static_cast<int64_t>(std::sqrt(static_cast<double>(n)));
    columns_ = method == SORT_TILE_COLUMNS ? root : n / root;
    rows_ = method == SORT_TILE_COLUMNS ? n / root : root;
    longColumns_ = n % root;
  }

  ViewPlace Next() {
    const int64_t column = t_ % columns_ + 1;
    const int64_t cells = column <= longColumns_ ? rows_ + 1 : rows_;
    const int64_t cellWidth = width_ / columns_;
    const int64_t cellHeight = usableHeight_ / cells;
    // x steps on by a cell width until two more would pass the right edge: the column's left edge
    // whenever the client is at least columns x columns pixels wide.
    if (t_ > 0) x_ = x_ + 2 * cellWidth > width_ ? 0 : x_ + cellWidth;
    const int64_t row = t_ / columns_;
    ++t_;
    return Place(x_, row * cellHeight, cellWidth, cellHeight);
  }

 private:
  int64_t width_;
  int64_t usableHeight_;
  int64_t columns_;
  int64_t rows_;
  int64_t longColumns_;
  int64_t x_ = 0;
  int64_t t_ = 0;  // the views tiled so far
};

}  // namespace

std::vector<SortMove> SortMoves(int32_t method, const SortMetrics& metrics,
                                std::span<const ViewState> views, std::optional<size_t> active) {
  std::vector<SortMove> moves;
  if (method != SORT_CASCADE && method != SORT_TILE_COLUMNS && method != SORT_TILE_ROWS) {
    return moves;
  }
  // The views that are arranged, in the order they take the places.
  std::vector<size_t> arranged;
  for (size_t k = 0; k < views.size(); ++k) {
    if (views[k] != ViewState::kMinimized) arranged.push_back(k);
  }
  if (method == SORT_CASCADE && active && *active < views.size() &&
      views[*active] != ViewState::kMinimized) {
    const auto found = std::find(arranged.begin(), arranged.end(), *active);
    std::rotate(found, found + 1, arranged.end());
  }

  const size_t minimizedCount = views.size() - arranged.size();
  const int64_t usableHeight =
      int64_t{metrics.clientHeight} - (minimizedCount > 0 ? int64_t{metrics.minimizedHeight} : 0);
  MinimizedRow row(metrics);
  Cascade cascade(metrics, usableHeight);
  std::optional<Tile> tile;
  if (method != SORT_CASCADE && !arranged.empty()) {
    tile.emplace(method, metrics, usableHeight, arranged.size());
  }

  size_t next = 0;  // into arranged
  for (size_t k = 0; k < views.size(); ++k) {
    if (views[k] == ViewState::kMinimized) {
      moves.push_back({k, false, row.Next()});
      continue;
    }
    const size_t view = arranged[next++];
    const ViewPlace place = tile ? tile->Next() : cascade.Next();
    moves.push_back({view, views[view] == ViewState::kMaximized, place});
  }
  return moves;
}
