#include "mdi/core/sort_moves.h"

#include <gtest/gtest.h>

#include <iterator>
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

struct SortCase {
  const char* what;
  int32_t method;
  SortMetrics metrics;
  std::vector<ViewState> views;
  std::optional<size_t> active;
  std::vector<SortMove> expected;
};

void ExpectMoves(const std::vector<SortCase>& cases) {
  for (const SortCase& c : cases) {
    EXPECT_EQ(SortMoves(c.method, c.metrics, c.views, c.active), c.expected) << c.what;
  }
}

SortMove Cascaded(size_t view, int32_t offset, bool restore = false) {
  return {view, restore, {offset, offset, 300, 200}};
}

TEST(SortMoves, CascadeGivesTheActiveViewTheLastPlaceOnTop) {
  ExpectMoves({
      {"views 0, 1, 2 with 1 active",
       SORT_CASCADE,
       kMetrics,
       {N, N, N},
       1,
       {Cascaded(0, 0), Cascaded(2, 22), Cascaded(1, 44)}},
      {"no active view",
       SORT_CASCADE,
       kMetrics,
       {N, N},
       std::nullopt,
       {Cascaded(0, 0), Cascaded(1, 22)}},
      {"an active position past the list",
       SORT_CASCADE,
       kMetrics,
       {N, N},
       2,
       {Cascaded(0, 0), Cascaded(1, 22)}},
      {"a minimised active view keeps list order",
       SORT_CASCADE,
       kMetrics,
       {N, I, N},
       1,
       {Cascaded(0, 0), {1, false, {0, 576, 0, 0}}, Cascaded(2, 22)}},
      {"a minimised view after the active one keeps its row place",
       SORT_CASCADE,
       kMetrics,
       {N, I, N},
       0,
       {Cascaded(2, 0), {1, false, {0, 576, 0, 0}}, Cascaded(0, 22)}},
  });
}

TEST(SortMoves, CascadeStartsAgainAtTheTopLeftWhenTheNextPlaceWouldNotFit) {
  const SortMetrics narrow = {400, 600, 22, 160, 24, 300, 200};
  const SortMetrics low = {800, 300, 22, 160, 24, 300, 200};
  ExpectMoves({
      {"too wide after five places",
       SORT_CASCADE,
       narrow,
       {N, N, N, N, N, N},
       std::nullopt,
       {Cascaded(0, 0), Cascaded(1, 22), Cascaded(2, 44), Cascaded(3, 66), Cascaded(4, 88),
        Cascaded(5, 0)}},
      {"too low after five places",
       SORT_CASCADE,
       low,
       {N, N, N, N, N, N},
       std::nullopt,
       {Cascaded(0, 0), Cascaded(1, 22), Cascaded(2, 44), Cascaded(3, 66), Cascaded(4, 88),
        Cascaded(5, 0)}},
      {"the row of minimised views takes its height off",
       SORT_CASCADE,
       low,
       {I, N, N, N, N, N},
       std::nullopt,
       {{0, false, {0, 276, 0, 0}},
        Cascaded(1, 0),
        Cascaded(2, 22),
        Cascaded(3, 44),
        Cascaded(4, 66),
        Cascaded(5, 0)}},
  });
}

TEST(SortMoves, TileSharesTheRemainderOutOverTheFirstColumns) {
  ExpectMoves({
      {"5 views by columns: 3 then 2",
       SORT_TILE_COLUMNS,
       kMetrics,
       {N, N, N, N, N},
       std::nullopt,
       {{0, false, {0, 0, 400, 200}},
        {1, false, {400, 0, 400, 300}},
        {2, false, {0, 200, 400, 200}},
        {3, false, {400, 300, 400, 300}},
        {4, false, {0, 400, 400, 200}}}},
      {"6 views by columns: 2 columns of 3",
       SORT_TILE_COLUMNS,
       kMetrics,
       {N, N, N, N, N, N},
       std::nullopt,
       {{0, false, {0, 0, 400, 200}},
        {1, false, {400, 0, 400, 200}},
        {2, false, {0, 200, 400, 200}},
        {3, false, {400, 200, 400, 200}},
        {4, false, {0, 400, 400, 200}},
        {5, false, {400, 400, 400, 200}}}},
      {"6 views by rows: 3 columns of 2",
       SORT_TILE_ROWS,
       kMetrics,
       {N, N, N, N, N, N},
       std::nullopt,
       {{0, false, {0, 0, 266, 300}},
        {1, false, {266, 0, 266, 300}},
        {2, false, {532, 0, 266, 300}},
        {3, false, {0, 300, 266, 300}},
        {4, false, {266, 300, 266, 300}},
        {5, false, {532, 300, 266, 300}}}},
      {"7 views by rows: 3, 2 and 2",
       SORT_TILE_ROWS,
       kMetrics,
       {N, N, N, N, N, N, N},
       std::nullopt,
       {{0, false, {0, 0, 266, 200}},
        {1, false, {266, 0, 266, 300}},
        {2, false, {532, 0, 266, 300}},
        {3, false, {0, 200, 266, 200}},
        {4, false, {266, 300, 266, 300}},
        {5, false, {532, 300, 266, 300}},
        {6, false, {0, 400, 266, 200}}}},
      {"the active view has no part in it",
       SORT_TILE_COLUMNS,
       kMetrics,
       {N, N},
       0,
       {{0, false, {0, 0, 800, 300}}, {1, false, {0, 300, 800, 300}}}},
      {"a minimised view first, then one column of two",
       SORT_TILE_COLUMNS,
       kMetrics,
       {I, N, N},
       std::nullopt,
       {{0, false, {0, 576, 0, 0}}, {1, false, {0, 0, 800, 288}}, {2, false, {0, 288, 800, 288}}}},
      {"a minimised view between the two",
       SORT_TILE_COLUMNS,
       kMetrics,
       {N, I, N},
       std::nullopt,
       {{0, false, {0, 0, 800, 288}}, {1, false, {0, 576, 0, 0}}, {2, false, {0, 288, 800, 288}}}},
  });
}

TEST(SortMoves, MinimisedViewsFillRowsUpwardThenStartAgainAtTheBottom) {
  // Two minimised views to a row, four rows in the client area.
  const SortMetrics small = {400, 100, 22, 160, 24, 300, 200};
  std::vector<SortMove> expected;
  const int32_t places[][2] = {{0, 76},   {160, 76}, {0, 52},  {160, 52}, {0, 28},
                               {160, 28}, {0, 4},    {160, 4}, {0, 76}};
  for (size_t k = 0; k < std::size(places); ++k) {
    expected.push_back({k, false, {places[k][0], places[k][1], 0, 0}});
  }
  const std::vector<ViewState> minimized(std::size(places), I);
  ExpectMoves({
      {"cascade", SORT_CASCADE, small, minimized, 3, expected},
      {"tile by columns", SORT_TILE_COLUMNS, small, minimized, std::nullopt, expected},
      {"tile by rows", SORT_TILE_ROWS, small, minimized, std::nullopt, expected},
  });
}

TEST(SortMoves, EverySortRestoresMaximisedViewsJustBeforeMovingThem) {
  ExpectMoves({
      {"cascade",
       SORT_CASCADE,
       kMetrics,
       {X, N},
       std::nullopt,
       {Cascaded(0, 0, true), Cascaded(1, 22)}},
      {"cascade, the active view maximised",
       SORT_CASCADE,
       kMetrics,
       {N, X, N},
       1,
       {Cascaded(0, 0), Cascaded(2, 22), Cascaded(1, 44, true)}},
      {"tile by columns",
       SORT_TILE_COLUMNS,
       kMetrics,
       {X, N},
       std::nullopt,
       {{0, true, {0, 0, 800, 300}}, {1, false, {0, 300, 800, 300}}}},
      {"tile by rows",
       SORT_TILE_ROWS,
       kMetrics,
       {X, N},
       std::nullopt,
       {{0, true, {0, 0, 400, 600}}, {1, false, {400, 0, 400, 600}}}},
  });
}

TEST(SortMoves, AnUnknownMethodOrNoViewsLeaveEverythingAsItIs) {
  ExpectMoves({
      {"method 0", 0, kMetrics, {X, N, I}, 0, {}},
      {"method 4", 4, kMetrics, {X, N, I}, 0, {}},
      {"method -1", -1, kMetrics, {X, N, I}, 0, {}},
      {"no views", SORT_CASCADE, kMetrics, {}, std::nullopt, {}},
      {"no views to tile", SORT_TILE_ROWS, kMetrics, {}, std::nullopt, {}},
  });
}

}  // namespace
