#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "installer/catalog.h"
#include "installer/core/run_report.h"
#include "installer/run_log.h"

// The state of the installer's run: where it is, which row it is at, what it counted and what it
// reported. The dialog and the removal pass read and change it only through these operations.
class CInstallRun {
 public:
  enum class Phase {
    kIdle,        // nothing under way: Cancel closes, a removal may be asked for
    kPreparing,   // a run began: browsers are closed and the store is cleared before its first row
    kRemoving,    // the removal pass takes components out
    kInstalling,  // rows go through the engine, one at a time, until the run is finished
    kStalled,     // the run found no row to install; only Cancel is left
  };
  // What a Cancel request asks of the dialog.
  enum class CancelStep {
    kClose,          // close the dialog now
    kAbortRow,       // stop watching and abort the row; the engine's next notification closes
    kStopAfterStep,  // the step under way stops, and the dialog closes when it returns
  };

  // texts gives the string of an id: the report's outcome texts come from the program.
  CInstallRun(const CCatalog& catalog, std::function<std::wstring(UINT)> texts);

  const CCatalog& Catalog() const { return catalog_; }
  Phase CurrentPhase() const { return phase_; }
  bool Idle() const { return phase_ == Phase::kIdle; }
  bool Installing() const { return phase_ == Phase::kInstalling; }
  bool Removing() const { return phase_ == Phase::kRemoving; }
  bool AbortRequested() const { return abortRequested_; }

  // Every row starts selected; a row that is not is skipped by the removal and the installation.
  bool Selected(size_t row) const { return selected_[row]; }
  void SetSelected(size_t row, bool selected) { selected_[row] = selected; }
  // Selected, with its CAB present: the rows a run removes and installs.
  bool Taken(size_t row) const;

  size_t CurrentIndex() const { return currentIndex_; }
  int StepCount() const { return stepCount_; }
  size_t FoundCount() const { return catalog_.FoundCount(); }
  size_t InstalledCount() const { return installedCount_; }
  size_t FailedCount() const { return failedCount_; }
  int RemovalTotal() const { return removalTotal_; }
  int RemovedCount() const { return removedCount_; }
  const CRunReport& Report() const { return report_; }
  const std::wstring& LogPath() const { return log_.Path(); }

  // Starts a run of the program at programPath: an empty report, a fresh log. False, and nothing
  // changed, unless the run is idle.
  bool Begin(const std::wstring& programPath);
  // The run does not go ahead (the user kept the browser, or the thread is quitting): idle again.
  void Abandon();
  // Cancel, the Escape key or the close box.
  CancelStep RequestCancel();

  // The removal pass. BeginRemoval when it takes its first component; EndRemoval when it is done
  // (the row index and steps back to 0, and the phase it interrupted).
  void BeginRemoval();
  void EndRemoval();
  void ResetRemovalCounts();
  void AddRemovable() { ++removalTotal_; }
  void CountRemoved() { ++removedCount_; }

  // Moves from the current index to the next row to install, reporting the rows passed over;
  // false when it ran past the last row.
  bool FindNextRow();
  const CatalogEntry& CurrentRow() const { return catalog_.Row(currentIndex_); }
  // The current row goes to the engine.
  void RowStarted();
  // A progress notification of the row.
  void CountStep() { ++stepCount_; }
  // The row's class object arrived: installed, reported, and the index moves on.
  void RowObtained();
  // The row's binding ended with outcome (an HRESULT or one of the kOutcome codes). A row that
  // brought no class object is reported as failed with that code, and the index moves past it;
  // true in that case.
  bool RowEnded(LONG outcome);
  bool AllRowsEnded() const { return currentIndex_ >= catalog_.Size(); }
  // The last row has ended: idle again, ready to close.
  void Finish();

  // The outcome code as a report shows it: our own small codes in decimal, an HRESULT in hex.
  static std::wstring OutcomeText(LONG outcome);

 private:
  void Append(const std::wstring& cabName, const std::wstring& outcome);

  const CCatalog& catalog_;
  std::function<std::wstring(UINT)> texts_;
  std::array<bool, kCatalogSize> selected_;
  Phase phase_ = Phase::kIdle;
  Phase interrupted_ = Phase::kIdle;  // the phase a removal pass returns to
  bool abortRequested_ = false;
  size_t currentIndex_ = 0;
  int stepCount_ = 0;
  bool rowObtained_ = false;  // the row in the engine delivered its class object
  size_t installedCount_ = 0;
  size_t failedCount_ = 0;
  int removalTotal_ = 0;
  int removedCount_ = 0;
  CRunReport report_;
  CRunLog log_;
};
