#include "mdi/core/sort_moves.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

void PrintTo(const SortMove& move, std::ostream* os) {
  *os << "{view " << move.view << (move.restore ? ", restored" : "") << " at (" << move.place.x
      << ", " << move.place.y << ") " << move.place.width << " x " << move.place.height << "}";
}

namespace {

constexpr ViewState N = ViewState::kNormal;
constexpr ViewState X = ViewState::kMaximized;
constexpr ViewState I = ViewState::kMinimized;

// 800 x 600 client area, step 22, minimised views 160 x 24, default view size 300 x 200.
constexpr SortMetrics kMetrics = {800, 600, 22, 160, 24, 300, 200};

void ExpectMoves(const char* what, int32_t method, const SortMetrics& metrics,
                 const std::vector<ViewState>& views, std::optional<size_t> active,
                 const std::vector<SortMove>& expected) {
  EXPECT_EQ(SortMoves(method, metrics, views, active), expected) << what;
}

SortMove Move(size_t view, int32_t x, int32_t y, int32_t width, int32_t height,
              bool restore = false) {
  return {view, restore, {x, y, width, height}};
}
SortMove Cascaded(size_t view, int32_t offset) { return Move(view, offset, offset, 300, 200); }
SortMove Minimized(size_t view, int32_t x, int32_t y) { return Move(view, x, y, 0, 0); }

TEST(SortMoves, CascadeGivesTheActiveViewTheLastPlaceOnTop) {
  const SortMetrics narrow = {400, 600, 22, 160, 24, 300, 200};
  const SortMetrics low = {800, 300, 22, 160, 24, 300, 200};
  ExpectMoves("1 of 0, 1, 2 active", SORT_CASCADE, kMetrics, {N, N, N}, 1,
              {Cascaded(0, 0), Cascaded(2, 22), Cascaded(1, 44)});
  ExpectMoves("none active", SORT_CASCADE, kMetrics, {N, N}, std::nullopt,
              {Cascaded(0, 0), Cascaded(1, 22)});
  ExpectMoves("active past the list", SORT_CASCADE, kMetrics, {N, N}, 2,
              {Cascaded(0, 0), Cascaded(1, 22)});
  ExpectMoves("active minimised", SORT_CASCADE, kMetrics, {N, I, N}, 1,
              {Cascaded(0, 0), Minimized(1, 0, 576), Cascaded(2, 22)});
  ExpectMoves("a minimised view after the active one", SORT_CASCADE, kMetrics, {N, I, N}, 0,
              {Cascaded(2, 0), Minimized(1, 0, 576), Cascaded(0, 22)});
  ExpectMoves("too wide after five places", SORT_CASCADE, narrow, {N, N, N, N, N, N}, std::nullopt,
              {Cascaded(0, 0), Cascaded(1, 22), Cascaded(2, 44), Cascaded(3, 66), Cascaded(4, 88),
               Cascaded(5, 0)});
  ExpectMoves("the minimised row takes its height off", SORT_CASCADE, low, {I, N, N, N, N, N},
              std::nullopt,
              {Minimized(0, 0, 276), Cascaded(1, 0), Cascaded(2, 22), Cascaded(3, 44),
               Cascaded(4, 66), Cascaded(5, 0)});
}

TEST(SortMoves, TileSharesTheRemainderOutOverTheFirstColumns) {
  ExpectMoves("5 by columns: 3 then 2", SORT_TILE_COLUMNS, kMetrics, {N, N, N, N, N}, std::nullopt,
              {Move(0, 0, 0, 400, 200), Move(1, 400, 0, 400, 300), Move(2, 0, 200, 400, 200),
               Move(3, 400, 300, 400, 300), Move(4, 0, 400, 400, 200)});
  ExpectMoves(
      "6 by columns: 2 columns of 3", 2, kMetrics, {N, N, N, N, N, N}, std::nullopt,
      {Move(0, 0, 0, 400, 200), Move(1, 400, 0, 400, 200), Move(2, 0, 200, 400, 200),
       Move(3, 400, 200, 400, 200), Move(4, 0, 400, 400, 200), Move(5, 400, 400, 400, 200)});
  ExpectMoves(
      "6 by rows: 3 columns of 2", 3, kMetrics, {N, N, N, N, N, N}, std::nullopt,
      {Move(0, 0, 0, 266, 300), Move(1, 266, 0, 266, 300), Move(2, 532, 0, 266, 300),
       Move(3, 0, 300, 266, 300), Move(4, 266, 300, 266, 300), Move(5, 532, 300, 266, 300)});
  ExpectMoves("the active view has no part in it", SORT_TILE_COLUMNS, kMetrics, {N, N}, 0,
              {Move(0, 0, 0, 800, 300), Move(1, 0, 300, 800, 300)});
  ExpectMoves("a minimised view, then one column of two", SORT_TILE_COLUMNS, kMetrics, {I, N, N},
              std::nullopt,
              {Minimized(0, 0, 576), Move(1, 0, 0, 800, 288), Move(2, 0, 288, 800, 288)});
  ExpectMoves("a minimised view between the two", SORT_TILE_COLUMNS, kMetrics, {N, I, N},
              std::nullopt,
              {Move(0, 0, 0, 800, 288), Minimized(1, 0, 576), Move(2, 0, 288, 800, 288)});
}

TEST(SortMoves, MinimisedViewsFillRowsUpwardThenStartAgainAtTheBottom) {
  // Two minimised views to a row, four rows in the client area.
  const SortMetrics small = {400, 100, 22, 160, 24, 300, 200};
  const std::vector<SortMove> expected = {
      Minimized(0, 0, 76),   Minimized(1, 160, 76), Minimized(2, 0, 52),
      Minimized(3, 160, 52), Minimized(4, 0, 28),   Minimized(5, 160, 28),
      Minimized(6, 0, 4),    Minimized(7, 160, 4),  Minimized(8, 0, 76)};
  for (const int32_t method : {SORT_CASCADE, SORT_TILE_COLUMNS, SORT_TILE_ROWS}) {
    ExpectMoves("nine minimised views", method, small, std::vector(9, I), 3, expected);
  }
}

TEST(SortMoves, EverySortRestoresMaximisedViewsJustBeforeMovingThem) {
  ExpectMoves("cascade", SORT_CASCADE, kMetrics, {X, N}, std::nullopt,
              {Move(0, 0, 0, 300, 200, true), Cascaded(1, 22)});
  ExpectMoves("cascade, the active view maximised", SORT_CASCADE, kMetrics, {N, X, N}, 1,
              {Cascaded(0, 0), Cascaded(2, 22), Move(1, 44, 44, 300, 200, true)});
  ExpectMoves("tile by columns", SORT_TILE_COLUMNS, kMetrics, {X, N}, std::nullopt,
              {Move(0, 0, 0, 800, 300, true), Move(1, 0, 300, 800, 300)});
  ExpectMoves("tile by rows", SORT_TILE_ROWS, kMetrics, {X, N}, std::nullopt,
              {Move(0, 0, 0, 400, 600, true), Move(1, 400, 0, 400, 600)});
}

TEST(SortMoves, AnUnknownMethodOrNoViewsLeaveEverythingAsItIs) {
  for (const int32_t method : {0, 4, -1}) {
    ExpectMoves("an unknown method", method, kMetrics, {X, N, I}, 0, {});
  }
  ExpectMoves("no views", SORT_CASCADE, kMetrics, {}, std::nullopt, {});
  ExpectMoves("no views", SORT_TILE_ROWS, kMetrics, {}, std::nullopt, {});
}

}  // namespace
