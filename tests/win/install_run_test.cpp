#include "installer/install_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/module_info.h"
#include "installer/install_messages.h"
#include "tests/win/temp_folder.h"

namespace {

using Phase = CInstallRun::Phase;
using CancelStep = CInstallRun::CancelStep;

std::wstring Text(UINT id) { return LoadResourceString(::GetModuleHandleW(nullptr), id); }

// A catalog scanned over a "cabfiles" folder holding the named CABs.
class InstallRunTest : public testing::Test {
 protected:
  void Scan(std::initializer_list<const wchar_t*> cabs) {
    std::filesystem::create_directories(folder_.Path() / L"cabfiles");
    for (const wchar_t* cab : cabs) folder_.Touch(std::wstring(L"cabfiles\\") + cab);
    ASSERT_TRUE(catalog_.Scan(Program()));
  }
  std::wstring Program() const { return (folder_.Path() / L"installer.exe").wstring(); }

  TempFolder folder_{L"kovira run"};
  CCatalog catalog_;
};

// What Cancel asks for depends on where the run is: at rest or with nothing left to wait for it
// closes; while browsers close or the store is cleared the step stops first; with a row in the
// engine the row is aborted and its end closes.
TEST_F(InstallRunTest, CancelAsksForWhatThePhaseAllows) {
  const struct {
    const char* where;
    std::function<void(CInstallRun&, const std::wstring&)> reach;
    Phase phase;
    CancelStep step;
    bool abortRequested;
  } cases[] = {
      {"idle", [](CInstallRun&, const std::wstring&) {}, Phase::kIdle, CancelStep::kClose, false},
      {"closing browsers", [](CInstallRun& r, const std::wstring& p) { r.Begin(p); },
       Phase::kPreparing, CancelStep::kStopAfterStep, true},
      {"removing in a run",
       [](CInstallRun& r, const std::wstring& p) {
         r.Begin(p);
         r.BeginRemoval();
       },
       Phase::kRemoving, CancelStep::kStopAfterStep, true},
      {"removing while idle", [](CInstallRun& r, const std::wstring&) { r.BeginRemoval(); },
       Phase::kRemoving, CancelStep::kStopAfterStep, true},
      {"a row in the engine",
       [](CInstallRun& r, const std::wstring& p) {
         r.Begin(p);
         ASSERT_TRUE(r.FindNextRow());
         r.RowStarted();
       },
       Phase::kInstalling, CancelStep::kAbortRow, true},
      {"after the last row",
       [](CInstallRun& r, const std::wstring& p) {
         r.Begin(p);
         ASSERT_TRUE(r.FindNextRow());
         r.RowStarted();
         r.RowObtained();
         ASSERT_FALSE(r.FindNextRow());
       },
       Phase::kInstalling, CancelStep::kClose, false},
      {"no row to install",
       [](CInstallRun& r, const std::wstring& p) {
         r.Begin(p);
         r.SetSelected(kCatalogSize - 1, false);
         ASSERT_FALSE(r.FindNextRow());
       },
       Phase::kStalled, CancelStep::kClose, false},
  };
  Scan({L"Tindra.cab"});  // the last row
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    CInstallRun run(catalog_, Text);
    c.reach(run, Program());
    EXPECT_EQ(c.phase, run.CurrentPhase());
    EXPECT_EQ(c.step, run.RequestCancel());
    EXPECT_EQ(c.abortRequested, run.AbortRequested());
  }
}

TEST(InstallRun, OutcomeTextIsDecimalForOurCodesAndHexForFailures) {
  const struct {
    LONG outcome;
    const wchar_t* text;
  } cases[] = {
      {kOutcomeNoError, L"0"},
      {kOutcomeResourceNotFound, L"-1"},
      {kOutcomeHtmlCodeBase, L"-2"},
      {E_ABORT, L"0x80004004"},
      {kOutcomeNoClassObject, L"0x80004002"},
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L"0x80070002"},
      {1, L"0x00000001"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, CInstallRun::OutcomeText(c.outcome));
}

}  // namespace
