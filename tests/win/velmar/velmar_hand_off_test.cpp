// Update's real steps: the wait box, the descriptor, the publisher check and the installer
// program. Runs with the signed installer stand-in (tests/fixtures/installer_stand_in), which
// follows the plan given as InstallerInfoXML, or with a recorded process start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "common/text_compare.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tests/win/velmar/hand_off_fakes.h"
#include "tests/win/velmar/redirected_classes.h"
#include "velmar/hand_off_messages.h"
#include "velmar/resource.h"
#include "velmar/update_steps.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

const wchar_t kPageBase[] = L"http://server/app/";

std::wstring Installer(const std::wstring& variant) {
  return InBuildTree(L"velmar_handoff/" + variant + L"/KV3Installer.exe");
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class VelmarHandOff : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));  // the box and its strings are ours
    ::SetEnvironmentVariableW(L"KOVIRA_STAND_IN_LOG", (folder_ / L"stand-in.log").c_str());
    timing_.startWaitMs = 3000;
    timing_.aliveCheckMs = 500;
    timing_.replyTimeoutMs = 500;
  }
  void TearDown() override { ::SetEnvironmentVariableW(L"KOVIRA_STAND_IN_LOG", nullptr); }

  HandOffRequest Request(const std::wstring& plan, const std::wstring& variant = L"maker") {
    HandOffRequest request;
    request.installerPath = Installer(variant);
    request.installerInfoXml = plan;
    request.pageBaseUrl = kPageBase;
    return request;
  }

  HandOffResult Run(const HandOffRequest& request) {
    HandOffServices services;
    services.platform = &platform_;
    services.trust = &trust_;
    services.prompt = &prompt_;
    services.classesRoot = classes_.Root();
    services.timing = timing_;
    steps_ = std::make_unique<CUpdateSteps>(services, &zones_);
    const DWORD start = ::GetTickCount();
    HandOffResult result = steps_->HandOff(request);
    elapsed_ = ::GetTickCount() - start;
    return result;
  }

  // The stand-in's log lines that start with word, without it.
  std::vector<std::string> Logged(const std::string& word) {
    std::ifstream in(std::filesystem::path(folder_ / L"stand-in.log"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(word + " ", 0) == 0) lines.push_back(line.substr(word.size() + 1));
    }
    return lines;
  }

  std::wstring WriteDescriptor(const std::string& xml) {
    const std::wstring path = folder_ / L"update.xml";
    std::ofstream(std::filesystem::path(path), std::ios::binary) << xml;
    return path;
  }

  TempFolder folder_{L"velmar hand-off"};
  HandOffTiming timing_;
  RecordingPlatform platform_;
  SteeredTrust trust_;
  ScriptedPrompt prompt_;
  FakeZones zones_;
  RedirectedClasses classes_;
  std::unique_ptr<CUpdateSteps> steps_;
  DWORD elapsed_ = 0;
};

// Each outcome the installer reports is checked end to end through axrun (handoff_outcomes.js);
// here, the time limits, the replies and what happens around the process.
TEST_F(VelmarHandOff, TimeLimitsHold) {
  // No start message: the start wait's length; a window gone: within one alive check.
  Run(Request(L""));
  EXPECT_GE(elapsed_, timing_.startWaitMs - 100);
  EXPECT_LT(elapsed_, timing_.startWaitMs + 2000);
  Run(Request(L"start wait:300 exit"));
  EXPECT_GE(elapsed_, 300u);
  EXPECT_LT(elapsed_, timing_.startWaitMs);
}

TEST_F(VelmarHandOff, RepliesCarryTheTextWithItsLengthAndTerminator) {
  const HandOffResult result = Run(Request(L"start base info succeed"));
  EXPECT_EQ(result.code, kHandOffSucceeded);
  EXPECT_THAT(Logged("info"),
              ElementsAre("start base info succeed (23/24)", "start base info succeed (23/24)"));
  EXPECT_THAT(Logged("base"), ElementsAre("http://server/app/ (18/19)"));

  HandOffRequest noBase = Request(L"start base succeed");
  noBase.pageBaseUrl.clear();
  EXPECT_EQ(Run(noBase).code, kHandOffSucceeded);
  EXPECT_THAT(Logged("base"), ElementsAre("http://server/app/ (18/19)", " (0/1)"));
}

// The command line the installer receives: its path, the descriptor URL when one was given, the
// saved copy's path when SaveXML is on (empty when none was saved), and the box's handle.
TEST_F(VelmarHandOff, CommandLineCarriesUrlSavedCopyAndHandle) {
  const std::string needsUpdate =
      "<Kovira><Update><COMPONENT CLSID=\"{00000000-0000-0000-0000-0000000000C1}\"/></Update>"
      "</Kovira>";
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring savedCopy = std::wstring(temp) + L"\\KV3TempInstaller.xml";
  const std::wstring loads = WriteDescriptor(needsUpdate);
  const std::wstring broken = folder_ / L"broken.xml";
  std::ofstream(std::filesystem::path(broken)) << "<Kovira><Update>";
  const struct {
    std::wstring url;
    bool saveXml;
    std::wstring arguments;  // between the path and the handle
  } cases[] = {
      {L"", false, L" "},
      {L"", true, L" "},
      {loads, false, L" " + loads + L" "},
      {loads, true, L" " + loads + L" " + savedCopy + L" "},
      {broken, true, L" " + broken + L"  "},
  };
  for (const auto& c : cases) {
    ::DeleteFileW(savedCopy.c_str());
    HandOffRequest request = Request(L"start result:2100:%cmdline%");
    request.descriptorUrl = c.url;
    request.saveXml = c.saveXml;
    const HandOffResult result = Run(request);
    ASSERT_EQ(result.code, 2100) << c.url;
    const std::wstring expectedStart = request.installerPath + c.arguments;
    ASSERT_EQ(result.message.substr(0, expectedStart.size()), expectedStart) << result.message;
    const std::wstring handle = result.message.substr(expectedStart.size());
    EXPECT_FALSE(handle.empty());
    EXPECT_EQ(handle.find_first_not_of(L"0123456789"), std::wstring::npos) << handle;
    EXPECT_EQ(::GetFileAttributesW(savedCopy.c_str()) != INVALID_FILE_ATTRIBUTES,
              c.saveXml && c.url == loads)
        << c.url;
  }
  ::DeleteFileW(savedCopy.c_str());
}

// Unquoted, the path's space would make the system look for "...\SPACED.exe" first.
TEST_F(VelmarHandOff, TheVerifiedPathIsTheProgramStartedWhateverItsSpaces) {
  const HandOffResult result = Run(Request(L"start result:2100:%self%", L"spaced dir"));
  ASSERT_EQ(result.code, 2100);
  EXPECT_TRUE(EqualsNoCase(result.message, Installer(L"spaced dir"))) << result.message;

  // Where the path would lead without the program named: the decoy.
  std::wstring line = Installer(L"spaced dir") + L" 0";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &started));
  const ScopedHandle process(started.hProcess);
  const ScopedHandle thread(started.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
  const std::vector<std::string> selves = Logged("self");
  ASSERT_EQ(selves.size(), 2u);
  EXPECT_TRUE(EqualsNoCase(Widen(selves[1]), InBuildTree(L"velmar_handoff/spaced.exe")))
      << selves[1];
}

TEST_F(VelmarHandOff, NothingToUpdateEndsBeforeAnyCheckOrStart) {
  HandOffRequest request = Request(L"start succeed");
  request.descriptorUrl = WriteDescriptor("<Kovira><Update><Note/></Update></Kovira>");
  request.saveXml = true;
  EXPECT_EQ(Run(request).code, kHandOffNothingToUpdate);
  EXPECT_THAT(trust_.calls, IsEmpty());
  EXPECT_THAT(platform_.starts, IsEmpty());
  EXPECT_THAT(prompt_.shown, IsEmpty());
}

TEST_F(VelmarHandOff, AnUntrustedInstallerIsNotStartedAndTheUserIsTold) {
  for (const wchar_t* variant : {L"unsigned", L"other", L"case", L"modified", L"absent"}) {
    prompt_.shown.clear();
    EXPECT_EQ(Run(Request(L"start succeed", variant)).code, kHandOffNoEvent) << variant;
    EXPECT_THAT(platform_.starts, IsEmpty()) << variant;
    ASSERT_EQ(prompt_.shown.size(), 1u) << variant;
    EXPECT_EQ(prompt_.shown[0].owner, nullptr);
    EXPECT_EQ(prompt_.shown[0].text,
              LoadResourceString(::GetModuleHandleW(nullptr), IDS_PUBLISHER_UNVERIFIED));
    EXPECT_EQ(prompt_.shown[0].caption, L"Error");
    EXPECT_EQ(prompt_.shown[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
  }
  // The chain's verdict counts as much as the name.
  trust_.verifyResult = CERT_E_UNTRUSTEDROOT;
  EXPECT_EQ(Run(Request(L"start succeed")).code, kHandOffNoEvent);
  EXPECT_THAT(platform_.starts, IsEmpty());
}

// Outside the NT family there is no check: whatever lies there is started.
TEST_F(VelmarHandOff, WithoutThePublisherGateTheInstallerStartsUnchecked) {
  platform_.checksPublisher = false;
  EXPECT_EQ(Run(Request(L"start succeed", L"unsigned")).code, kHandOffSucceeded);
  EXPECT_THAT(trust_.calls, IsEmpty());
  EXPECT_THAT(prompt_.shown, IsEmpty());
  // An empty path (the control's module not found by its name) ends at once.
  HandOffRequest empty = Request(L"");
  empty.installerPath.clear();
  platform_.starts.clear();
  EXPECT_EQ(Run(empty).code, IDS_INSTALLER_NOT_STARTED);
  EXPECT_THAT(platform_.starts, IsEmpty());
}

TEST_F(VelmarHandOff, AStartThatFailsEndsWith1001) {
  platform_.startReally = false;
  platform_.startError = ERROR_BAD_EXE_FORMAT;
  EXPECT_EQ(Run(Request(L"start succeed")).code, IDS_INSTALLER_NOT_STARTED);
  EXPECT_EQ(platform_.starts.size(), 1u);
}

TEST_F(VelmarHandOff, TheCheckedFileIsHeldUntilTheProcessHasStarted) {
  const std::wstring copy = folder_ / L"KV3Installer.exe";
  ASSERT_TRUE(::CopyFileW(Installer(L"maker").c_str(), copy.c_str(), FALSE));
  DWORD writeError = 0;
  platform_.duringStart = [&](const std::wstring&) {
    ScopedFile writer(::CreateFileW(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    writeError = writer.IsValid() ? ERROR_SUCCESS : ::GetLastError();
  };
  HandOffRequest request = Request(L"start succeed");
  request.installerPath = copy;
  EXPECT_EQ(Run(request).code, kHandOffSucceeded);
  EXPECT_EQ(writeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // Let go once started: writable as soon as the program itself has ended.
  ScopedFile writer;
  const DWORD start = ::GetTickCount();
  while (!writer.IsValid() && ::GetTickCount() - start < 10000) {
    writer.Reset(::CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!writer.IsValid()) ::Sleep(50);
  }
  EXPECT_TRUE(writer.IsValid());
}

TEST_F(VelmarHandOff, AHiddenBoxHasNoSizeButRunsAllTheSame) {
  for (const bool show : {true, false}) {
    RECT box = {};
    platform_.duringStart = [&](const std::wstring& commandLine) {
      const HWND dialog = reinterpret_cast<HWND>(
          static_cast<LONG_PTR>(std::stol(commandLine.substr(commandLine.find_last_of(L' ') + 1))));
      ::GetWindowRect(dialog, &box);
    };
    HandOffRequest request = Request(L"start base result:2100:%base%");
    request.showWaitDialog = show;
    const HandOffResult result = Run(request);
    EXPECT_EQ(result.code, 2100) << show;
    EXPECT_EQ(result.message, kPageBase) << show;
    EXPECT_EQ(box.right - box.left > 0 && box.bottom - box.top > 0, show) << show;
  }
}

// Messages a confused or hostile installer might send; each ends in a defined outcome.
TEST_F(VelmarHandOff, StrayMessagesEndInDefinedOutcomes) {
  platform_.startReally = false;  // nothing runs: the test speaks for the installer
  timing_.startWaitMs = 5000;
  const struct {
    const char* name;
    std::function<void(HWND box)> send;
    LONG code;
  } cases[] = {
      {"result without its data",
       [](HWND box) {
         ::SendMessageW(box, WM_COPYDATA, CD_INSTALL_RESULT, 0);
         ::PostMessageW(box, UM_INSTALL_END_SILENT, 0, 0);
       },
       kHandOffNoEvent},
      {"a reply's tag sent back",
       [](HWND box) {
         COPYDATASTRUCT data = {7, 4, const_cast<char*>("abc")};
         ::SendMessageW(box, WM_COPYDATA, CD_INFO_XML, reinterpret_cast<LPARAM>(&data));
         ::PostMessageW(box, UM_INSTALLER_NOTIFY, 0, 0);
         ::PostMessageW(box, UM_INSTALL_SUCCEEDED, 0, 0);
       },
       kHandOffSucceeded},
      {"a request with no installer window known",
       [](HWND box) { ::SendMessageW(box, UM_GET_INFO_XML, 0, 0); }, IDS_BAD_INSTALLER_WINDOW},
      {"a base request from no window",
       [](HWND box) { ::SendMessageW(box, UM_GET_BASE_URL, 0x12345, 0); },
       IDS_BAD_INSTALLER_WINDOW},
      {"a start message naming no window",
       [](HWND box) { ::PostMessageW(box, UM_INSTALLER_STARTED, 0x12345, 0); },
       IDS_BAD_INSTALLER_WINDOW},
      {"a close request",
       [](HWND box) {
         ::SendMessageW(box, WM_CLOSE, 0, 0);
         ::SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
         ::PostMessageW(box, UM_INSTALL_END_SILENT, 0, 0);
       },
       kHandOffNoEvent},
  };
  for (const auto& c : cases) {
    AfterDelay(100, [&] { c.send(WaitBox()); });
    EXPECT_EQ(Run(Request(L"")).code, c.code) << c.name;
    EXPECT_LT(elapsed_, timing_.startWaitMs) << c.name;
  }
}

// A hung installer does not hang the page: the reply to it is given up after its time, and the
// box goes on taking messages.
TEST_F(VelmarHandOff, AHungInstallerDoesNotHangThePage) {
  AfterDelay(1500, [] { ::PostMessageW(WaitBox(), UM_INSTALL_END_SILENT, 0, 0); });
  EXPECT_EQ(Run(Request(L"start wait:300 post-info sleep:5000 succeed")).code, kHandOffNoEvent);
  EXPECT_LT(elapsed_, 4500u);
}

TEST_F(VelmarHandOff, EndingTheHandOffFromOutsideEndsTheBoxWithoutAnEvent) {
  platform_.startReally = false;
  timing_.startWaitMs = 10000;
  AfterDelay(200, [this] { steps_->EndHandOff(); });
  EXPECT_EQ(Run(Request(L"")).code, kHandOffNoEvent);
  EXPECT_LT(elapsed_, 5000u);
  steps_->EndHandOff();  // none running: nothing happens
}

}  // namespace
