#include "installer/install_run.h"

#include <cwchar>

#include "installer/install_messages.h"
#include "installer/resource.h"

CInstallRun::CInstallRun(const CCatalog& catalog, std::function<std::wstring(UINT)> texts)
    : catalog_(catalog), texts_(std::move(texts)) {
  selected_.fill(true);
}

bool CInstallRun::Taken(size_t row) const { return selected_[row] && catalog_.Row(row).cabPresent; }

bool CInstallRun::Begin(const std::wstring& programPath) {
  if (phase_ != Phase::kIdle) return false;
  phase_ = Phase::kPreparing;
  report_.Clear();
  log_.Begin(programPath);
  return true;
}

void CInstallRun::Abandon() {
  if (phase_ == Phase::kPreparing) phase_ = Phase::kIdle;
}

CInstallRun::CancelStep CInstallRun::RequestCancel() {
  switch (phase_) {
    case Phase::kPreparing:
    case Phase::kRemoving:
      abortRequested_ = true;
      return CancelStep::kStopAfterStep;
    case Phase::kInstalling:
      // Every row has ended and no notification is due: nothing is left to wait for.
      if (AllRowsEnded()) return CancelStep::kClose;
      abortRequested_ = true;
      return CancelStep::kAbortRow;
    case Phase::kIdle:
    case Phase::kStalled:
      break;
  }
  return CancelStep::kClose;
}

void CInstallRun::BeginRemoval() {
  if (phase_ == Phase::kRemoving) return;
  interrupted_ = phase_;
  phase_ = Phase::kRemoving;
}

void CInstallRun::EndRemoval() {
  if (phase_ == Phase::kRemoving) phase_ = interrupted_;
  currentIndex_ = 0;
  stepCount_ = 0;
}

void CInstallRun::ResetRemovalCounts() {
  removalTotal_ = 0;
  removedCount_ = 0;
}

bool CInstallRun::FindNextRow() {
  for (; currentIndex_ < catalog_.Size(); ++currentIndex_) {
    const CatalogEntry& row = catalog_.Row(currentIndex_);
    if (!selected_[currentIndex_]) {
      Append(row.cabName, texts_(IDS_NOT_SELECTED));
    } else if (!row.cabPresent) {
      Append(row.cabName, texts_(IDS_NO_FILE));
    } else {
      return true;
    }
  }
  if (phase_ == Phase::kPreparing) phase_ = Phase::kStalled;
  return false;
}

void CInstallRun::RowStarted() {
  phase_ = Phase::kInstalling;
  rowObtained_ = false;
}

void CInstallRun::RowObtained() {
  stepCount_ = 0;
  ++installedCount_;
  Append(CurrentRow().cabName, texts_(IDS_INSTALL_COMPLETED));
  rowObtained_ = true;
  ++currentIndex_;
}

bool CInstallRun::RowEnded(LONG outcome) {
  if (rowObtained_ || AllRowsEnded()) return false;
  // Recorded and passed over, so that a run never starts the same row twice.
  const CatalogEntry& row = CurrentRow();
  Append(row.cabName,
         InsertPositional(texts_(IDS_ROW_INSTALL_FAILED), {row.cabName, OutcomeText(outcome)}));
  ++failedCount_;
  stepCount_ = 0;
  ++currentIndex_;
  return true;
}

void CInstallRun::Finish() {
  phase_ = Phase::kIdle;
  currentIndex_ = 0;
  stepCount_ = 0;
}

std::wstring CInstallRun::OutcomeText(LONG outcome) {
  if (outcome >= kOutcomeHtmlCodeBase && outcome <= kOutcomeNoError)
    return std::to_wstring(outcome);
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(outcome));
  return text;
}

void CInstallRun::Append(const std::wstring& cabName, const std::wstring& outcome) {
  report_.Append(cabName, outcome);
  log_.Append(cabName, outcome);
}
