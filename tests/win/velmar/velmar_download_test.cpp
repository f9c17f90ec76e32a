// DownloadFile on a page served by a real HTTP server on the loopback interface: the control
// hosted as a browser hosts it, its events recorded, its dialog driven through its messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "tests/win/dispatch_client.h"
#include "tests/win/http_test_server.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tests/win/velmar/hand_off_fakes.h"
#include "tests/win/velmar/scripted_update_steps.h"
#include "tools/control_host/control_host.h"
#include "velmar/download_progress_dlg.h"
#include "velmar/resource.h"
#include "velmar/velmar.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::StartsWith;

namespace {

constexpr wchar_t kAbortText[] =
    L"0x80004004 \uC0AC\uC6A9\uC790\uC5D0 \uC758\uD574 \uC791\uC5C5\uC774 \uC911\uB2E8 "
    L"\uB418\uC5C8\uC2B5\uB2C8\uB2E4.";

std::wstring String(UINT id) { return LoadResourceString(::GetModuleHandleW(nullptr), id); }

std::optional<std::string> Contents(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a file holds, said shortly: its size, and whether it is what was expected.
std::string Describe(const std::optional<std::string>& bytes,
                     const std::optional<std::string>& expected) {
  if (!bytes) return "no file";
  return std::to_string(bytes->size()) + " bytes" +
         (bytes == expected ? ", as expected" : ", different");
}

// Bytes that show any byte lost, doubled or moved.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 12345;
  for (char& c : bytes) c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);
  return bytes;
}

std::wstring SystemTemp() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return temp;
}

std::wstring SystemWindows() {
  wchar_t windows[MAX_PATH] = {};
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  return windows;
}

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  ::GetWindowTextW(window, text, 256);
  return text;
}

class VelmarDownload : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));
    ASSERT_TRUE(server_.Listening());
    host_.SetPageUrl(server_.Url("/app/page.html"));
    ComPtr<IVelmar> control = MakeComObject<CVelmar>(steps_, prompt_);
    ASSERT_EQ(host_.HostObject(control.Get(), CLSID_Velmar), S_OK);
    ASSERT_EQ(host_.Activate(), S_OK);
  }
  void TearDown() override { host_.Close(); }

  HRESULT Download(const std::wstring& url, const std::wstring& folder, LONG overwrite = 0) {
    auto arguments = Arguments(ScopedVariant(url.c_str()), ScopedVariant(folder.c_str()),
                               ScopedVariant(overwrite));
    return InvokeByName(host_.Dispatch().Get(), L"DownloadFile", DISPATCH_METHOD, arguments);
  }
  // The events heard, as "completed <path>" or "error <code> <text>", and forgotten.
  std::vector<std::wstring> Heard() {
    std::vector<std::wstring> heard;
    for (const FiredEvent& event : host_.Events()) {
      if (event.name == L"OnDownloadCompleted") {
        heard.push_back(L"completed " + TextOf(event.arguments[0].Get()));
      } else {
        heard.push_back(L"error " + std::to_wstring(event.arguments[0].Get().lVal) + L" " +
                        TextOf(event.arguments[1].Get()));
      }
    }
    host_.ClearEvents();
    return heard;
  }

  HttpTestServer server_;
  ScriptedUpdateSteps steps_;
  ScriptedPrompt prompt_;
  CControlHost host_;
  TempFolder folder_{L"kovira download"};
};

TEST_F(VelmarDownload, ServedFilesArriveWholeAndEachFailureGivesItsEvent) {
  const std::string known = Pattern(300 * 1024 + 7);
  HttpTestServer::Response noLength{200, "application/octet-stream", known};
  noLength.sendLength = false;
  HttpTestServer::Response cut{200, "application/octet-stream", known};
  cut.closeAfterBytes = 100 * 1024;
  HttpTestServer::Response moved{302, "text/html", "<a>moved</a>"};
  moved.location = "/app/files/known.bin";
  server_.Script("/app/files/known.bin", {200, "application/octet-stream", known});
  server_.Script("/app/files/known.bin?name=/x/other.bin",
                 {200, "application/octet-stream", known});
  server_.Script("/app/files/nolength.bin", noLength);
  server_.Script("/app/files/cut.bin", cut);
  server_.Script("/app/files/moved.bin", moved);
  server_.Script("/app/files/empty.bin", {200, "application/octet-stream", ""});
  server_.Script("/app/files/forbidden.bin", {403, "text/html", "<p>no</p>"});
  const std::wstring failed = L"error 1008 " + String(IDS_DOWNLOAD_FAILED);
  const struct {
    std::wstring url;
    std::optional<std::string> file;  // what the folder then holds under the URL's name
    std::wstring heard;               // a completion names the file
  } cases[] = {
      {L"files/known.bin", known, L""},
      {server_.Url("/app/files/known.bin"), known, L""},
      {L"files/nolength.bin", known, L""},
      {L"files/moved.bin", known, L""},
      {L"files/empty.bin", "", L""},
      {L"files/missing.bin", std::nullopt, failed},
      {L"files/forbidden.bin", std::nullopt, failed},
      {L"files/cut.bin", known.substr(0, 100 * 1024), failed},
      {L"files/known.bin?name=/x/other.bin", known, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.url));
    const std::wstring plain = c.url.substr(0, c.url.find(L'?'));
    const std::wstring name = plain.substr(plain.rfind(L'/') + 1);
    const std::wstring path = folder_ / name;
    std::filesystem::remove(path);
    ASSERT_EQ(Download(c.url, folder_.Path().wstring(), 0), S_OK);
    EXPECT_THAT(Heard(), ElementsAre(c.heard.empty() ? L"completed " + path : c.heard));
    EXPECT_EQ(Describe(Contents(path), c.file), Describe(c.file, c.file));
  }
}

TEST_F(VelmarDownload, NamesThatLeaveTheFolderAndUnresolvedUrlsAreRefusedBeforeAnyRequest) {
  folder_.Touch(L"keep.bin");
  const std::wstring failed = L"error 1008 " + String(IDS_DOWNLOAD_FAILED);
  for (const wchar_t* url :
       {L"files/..", L"files/%2e%2e", L"files/x%5C..%5Ckeep.bin", L"files/", L"files/con.txt"}) {
    ASSERT_EQ(Download(url, folder_.Path().wstring(), 1), S_OK);
    EXPECT_THAT(Heard(), ElementsAre(failed)) << testing::PrintToString(std::wstring(url));
  }
  EXPECT_TRUE(std::filesystem::exists(folder_ / L"keep.bin"));

  // Without a bind host the page cannot resolve the URL: the transfer cannot start.
  host_.Close();
  host_.SetBindHost(false);
  ComPtr<IVelmar> control = MakeComObject<CVelmar>(steps_, prompt_);
  ASSERT_EQ(host_.HostObject(control.Get(), CLSID_Velmar), S_OK);
  ASSERT_EQ(Download(server_.Url("/a.bin"), folder_.Path().wstring()), S_OK);
  EXPECT_THAT(Heard(), ElementsAre(failed + L"\n\uB2E4\uC74C\uC758 \uC624\uB958\uB97C "
                                            L"\uCC38\uACE0 \uD558\uC2ED\uC2DC\uC624.\nError "
                                            L"Code : 0x80070057"));
  EXPECT_EQ(server_.Requests(), 0u);
}

TEST_F(VelmarDownload, AnExistingFileIsReportedKeptOrReplacedAsOverwriteSays) {
  server_.Script("/app/a.bin", {200, "application/octet-stream", "new"});
  const std::wstring path = folder_ / L"a.bin";
  folder_.Touch(L"a.bin");
  ASSERT_EQ(Download(L"a.bin", folder_.Path().wstring(), 0), S_OK);
  EXPECT_THAT(Heard(), ElementsAre(L"completed " + path));
  EXPECT_EQ(Contents(path), "MSCF") << "kept";
  EXPECT_EQ(server_.Requests(), 0u);

  {
    // Held open by another without delete sharing: it cannot go.
    const ScopedFile held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    ASSERT_EQ(Download(L"a.bin", folder_.Path().wstring(), 1), S_OK);
    EXPECT_THAT(Heard(), ElementsAre(L"error 1005 " + String(IDS_CANNOT_DELETE_FILE) + path));
  }
  ASSERT_EQ(Download(L"a.bin", folder_.Path().wstring(), 1), S_OK);
  EXPECT_THAT(Heard(), ElementsAre(L"completed " + path));
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(server_.Requests(), 1u);
}

TEST_F(VelmarDownload, FolderTokensNameTheirFoldersAndMissingFoldersAreMade) {
  server_.Script("/app/t.bin", {200, "application/octet-stream", "token"});
  const std::wstring windowsSub = SystemWindows() + L"\\KoviraDownloadTest";
  const struct {
    std::wstring folder;
    std::wstring path;
  } cases[] = {
      {L"%SYSTEM%", SystemTemp() + L"\\t.bin"},  // the token's own backslash stays doubled
      {L"%WINDOWS%\\KoviraDownloadTest\\sub", windowsSub + L"\\sub\\t.bin"},
      {folder_.Path().wstring() + L"\\new\\\\deeper", (folder_ / L"new\\deeper\\t.bin")},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(c.path);
    ASSERT_EQ(Download(L"t.bin", c.folder, 0), S_OK);
    EXPECT_THAT(Heard(), ElementsAre(L"completed " + c.path)) << testing::PrintToString(c.folder);
    EXPECT_EQ(Contents(c.path), "token");
    std::filesystem::remove(c.path);
  }
  std::filesystem::remove_all(windowsSub);

  // A folder that cannot be made (a file holds its name): the file cannot be created.
  folder_.Touch(L"blocked");
  ASSERT_EQ(Download(L"t.bin", folder_ / L"blocked\\inner", 0), S_OK);
  EXPECT_THAT(Heard(), ElementsAre(L"error 1008 " + String(IDS_DOWNLOAD_FAILED)));
}

// A page's script, run by axrun in a process of its own on a page of the server.
TEST_F(VelmarDownload, PageScriptDownloadsRelativeToItsPage) {
  const std::string known = Pattern(200 * 1024 + 3);
  server_.Script("/app/files/known.bin", {200, "application/octet-stream", known});
  const std::wstring target = SystemTemp() + L"kovira-axrun-download\\known.bin";
  std::filesystem::remove(target);
  const std::wstring script = folder_ / L"page.js";
  std::ofstream(std::filesystem::path(script)) << R"(
    var heard = [];
    function control_OnDownloadCompleted(path) { heard.push("completed " + path); }
    function control_OnDownloadError(code, text) { heard.push("error " + code); }
    control.DownloadFile("files/known.bin", "%SYSTEM%kovira-axrun-download", 0);
    control.DownloadFile("files/missing.bin", "%SYSTEM%kovira-axrun-download", 0);
    if (heard.length !== 2 || !/^completed .*kovira-axrun-download\\known\.bin$/.test(heard[0]) ||
        heard[1] !== "error 1008") {
      axrun.Fail(heard.join("|"));
    })";
  std::wstring line = L"axrun.exe --page " + server_.Url("/app/page.html") + L" --script \"" +
                      script + L"\" \"" + InBuildTree(L"bin/Velmar.dll") + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  ASSERT_TRUE(::CreateProcessW(InBuildTree(L"bin/axrun.exe").c_str(), line.data(), nullptr, nullptr,
                               FALSE, 0, nullptr, nullptr, &startup, &started));
  const ScopedHandle process(started.hProcess);
  const ScopedHandle thread(started.hThread);
  ASSERT_EQ(::WaitForSingleObject(process.Get(), 60000), WAIT_OBJECT_0);
  DWORD code = 0xdeadbeef;
  ASSERT_TRUE(::GetExitCodeProcess(process.Get(), &code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(Describe(Contents(target), known), Describe(known, known));
  std::filesystem::remove_all(SystemTemp() + L"kovira-axrun-download");
}

// A slow transfer, acted on while its dialog runs.
class VelmarSlowDownload : public VelmarDownload {
 protected:
  void SetUp() override {
    VelmarDownload::SetUp();
    HttpTestServer::Response slow{200, "application/octet-stream", "", 40 * 4096, 25};
    server_.Script("/app/slow.bin", slow);
  }
  std::wstring Path() const { return folder_ / L"slow.bin"; }
};

TEST_F(VelmarSlowDownload, CancelAsksAndOnlyYesEndsTheTransfer) {
  const struct {
    int answer;
    std::wstring heard;
    bool whole;
  } cases[] = {
      {IDNO, L"completed " + Path(), true},
      {IDYES, std::wstring(L"error 1007 ") + kAbortText, false},
  };
  for (const auto& c : cases) {
    prompt_.answer = c.answer;
    prompt_.shown.clear();
    HWND dialog = nullptr;
    AfterDelay(300, [&] {
      dialog = WaitBox();
      ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD_CANCEL, BN_CLICKED), 0);
    });
    ASSERT_EQ(Download(L"slow.bin", folder_.Path().wstring(), 1), S_OK);
    ASSERT_EQ(prompt_.shown.size(), 1u);
    EXPECT_EQ(prompt_.shown[0].owner, dialog);
    EXPECT_EQ(prompt_.shown[0].text, L"Are you sure you want to Cancel?");
    EXPECT_EQ(prompt_.shown[0].caption, L"Confirmation");
    EXPECT_EQ(prompt_.shown[0].style,
              static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    host_.Pump(300);  // a late stop of the aborted binding must raise nothing more
    EXPECT_THAT(Heard(), ElementsAre(c.heard));
    const auto written = Contents(Path());
    ASSERT_TRUE(written.has_value()) << "what was written stays";
    EXPECT_EQ(written->size() == 40 * 4096, c.whole);
  }
}

TEST_F(VelmarSlowDownload, SecondCallWhileOneRunsDoesNothing) {
  HRESULT again = E_FAIL;
  bool existed = false;
  AfterDelay(300, [&] {
    existed = std::filesystem::exists(Path());
    again = Download(L"slow.bin", folder_.Path().wstring(), 1);
    EXPECT_TRUE(Heard().empty());
  });
  ASSERT_EQ(Download(L"slow.bin", folder_.Path().wstring(), 1), S_OK);
  EXPECT_EQ(again, S_OK);
  EXPECT_TRUE(existed);
  EXPECT_THAT(Heard(), ElementsAre(L"completed " + Path()));
  EXPECT_EQ(Contents(Path())->size(), 40u * 4096);
  EXPECT_EQ(server_.Requests(), 1u);
}

TEST_F(VelmarSlowDownload, DialogShowsTheTitleAndTheRunningCounts) {
  ASSERT_EQ(PutByName(host_.Dispatch().Get(), L"DownloadTitleText", ScopedVariant(L"")), S_OK);
  std::wstring title, status, counts;
  AfterDelay(600, [&] {
    const HWND dialog = WaitBox();
    title = WindowText(dialog);
    status = WindowText(::GetDlgItem(dialog, IDC_DOWNLOAD_STATUS));
    counts = WindowText(::GetDlgItem(dialog, IDC_DOWNLOAD_BYTES));
  });
  ASSERT_EQ(Download(L"slow.bin", folder_.Path().wstring(), 1), S_OK);
  EXPECT_EQ(title, L"Downloading : slow.bin");
  EXPECT_THAT(status, StartsWith(L"slow.bin - Downloading... : "));
  EXPECT_THAT(counts, testing::EndsWith(L" / 160KB"));
}

// The dialog alone: what it shows for given counts, the process-wide throttle, and an end asked
// for before it comes up.
TEST(DownloadProgressDialog, ShowsCountsPercentAndBarAndThrottlesRunningUpdates) {
  ComModule::Init(::GetModuleHandleW(nullptr));
  ScriptedPrompt prompt;
  CDownloadProgressDlg dialog(L"Title", prompt);
  std::vector<std::wstring> seen;
  int position = -1;
  AfterDelay(50, [&] {
    const HWND window = dialog.Handle();
    const auto look = [&] {
      seen.push_back(WindowText(::GetDlgItem(window, IDC_DOWNLOAD_STATUS)) + L" | " +
                     WindowText(::GetDlgItem(window, IDC_DOWNLOAD_BYTES)));
    };
    look();
    dialog.ShowProgress(L"a.exe - Downloading...", 12000, 20480, false);
    look();
    position = static_cast<int>(
        ::SendMessageW(::GetDlgItem(window, IDC_DOWNLOAD_PROGRESS), PBM_GETPOS, 0, 0));
    dialog.ShowProgress(L"first", 1, 0, true);
    dialog.ShowProgress(L"dropped", 2, 0, true);
    look();
    dialog.End(0);
    dialog.End(7);  // the first end stands
  });
  ASSERT_EQ(dialog.Run(nullptr), S_OK);
  EXPECT_EQ(dialog.Result(), 0);
  EXPECT_THAT(seen,
              ElementsAre(L"Download Ready .... | ", L"a.exe - Downloading... : 58% | 11KB / 20KB",
                          L"first : 0% | 1Bytes / 0Byes"));
  EXPECT_EQ(position, 58);

  CDownloadProgressDlg early(L"", prompt);
  early.End(3);
  ASSERT_EQ(early.Run(nullptr), S_OK);
  EXPECT_EQ(early.Result(), 3);
}

}  // namespace
