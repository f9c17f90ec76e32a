#include "installer/install_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/reg_key.h"
#include "installer/core/catalog_table.h"
#include "installer/install_messages.h"
#include "tests/win/scripted_code_download.h"

namespace {

const wchar_t kClsid[] = L"{17536387-A73E-45C5-A506-4D23FB64659C}";
const wchar_t kCodeBase[] = L"C:\\Kovira\\cabfiles\\Brenvo.cab";
// The component whose installation raises the connection limit.
std::wstring ConnectionLimitClsid() { return kCatalogRows[kConnectionLimitRow].clsid; }

// Stands in for the main dialog: records what the engine reports, in order.
class RecordingParent {
 public:
  RecordingParent() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"EngineTestParent";
    ::RegisterClassW(&wc);
    window_.Reset(::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                    nullptr, wc.hInstance, nullptr));
    ::SetWindowLongPtrW(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  HWND Handle() const { return window_.Get(); }
  std::vector<std::wstring> events;
  // Called inside the binding-ended notification, as the dialog starts its next row there.
  std::function<void()> onDone;

  bool WaitForDone(size_t count = 1) {
    return PumpUntil([&] {
      size_t done = 0;
      for (const auto& e : events) done += e.rfind(L"done", 0) == 0;
      return done >= count;
    });
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordingParent*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_INSTALL_PROGRESS) {
      self->events.push_back(L"progress:" + std::to_wstring(wParam));
      return 0;
    }
    if (self && msg == WM_INSTALL_DONE) {
      if (wParam != 0) {
        self->events.push_back(L"object");
      } else {
        self->events.push_back(L"done:" + std::to_wstring(static_cast<LONG>(lParam)));
        if (self->onDone) std::exchange(self->onDone, nullptr)();
      }
      return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  ScopedWindow window_;
};

struct EngineFixture : testing::Test {
  void SetUp() override { ASSERT_TRUE(engine.Create(parent.Handle())); }
  void Install(const wchar_t* clsid = kClsid, const wchar_t* codeBase = kCodeBase) {
    engine.SetTarget(clsid, codeBase, kCatalogVersionText);
    engine.Start();
  }
  CScriptedCodeDownload service;
  RecordingParent parent;
  CInstallEngine engine{service, ConsoleUserSettings{}};
};

using Events = std::vector<std::wstring>;

// The binding-ended notification as the recording parent writes it.
std::wstring Done(LONG outcome) { return L"done:" + std::to_wstring(outcome); }

TEST_F(EngineFixture, IsAHiddenButtonChildWithIdOne) {
  wchar_t className[32] = {};
  ::GetClassNameW(engine.Handle(), className, 32);
  EXPECT_STREQ(L"Button", className);
  EXPECT_EQ(parent.Handle(), ::GetParent(engine.Handle()));
  EXPECT_EQ(1, ::GetDlgCtrlID(engine.Handle()));
  EXPECT_FALSE(::IsWindowVisible(engine.Handle()));
}

TEST_F(EngineFixture, AsksTheServiceForTheClassFactoryOfTheTarget) {
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  ASSERT_EQ(1u, service.Requests().size());
  const auto& request = service.Requests()[0];
  CLSID expected;
  ASSERT_EQ(S_OK, ::CLSIDFromString(kClsid, &expected));
  EXPECT_TRUE(IsEqualGUID(expected, request.clsid));
  EXPECT_EQ(kCodeBase, request.codeBase);
  EXPECT_EQ(0xFFFFFFFFu, request.versionMS);
  EXPECT_EQ(0xFFFFFFFFu, request.versionLS);
  EXPECT_EQ(3u, request.classContext);
  EXPECT_TRUE(request.hadCallback);
  EXPECT_NE(0u, request.bindFlags & BIND_MAYBOTHERUSER);
}

TEST_F(EngineFixture, ReportsProgressThenObjectThenEnd) {
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{L"progress:1", L"progress:4", L"progress:6", L"progress:7", L"progress:8",
                    L"progress:9", L"object", L"done:0"}),
            parent.events);
  // Every callback was accepted.
  for (const auto& call : service.Calls())
    EXPECT_NE(std::wstring::npos, call.find(L"0x00000000")) << call;
}

TEST_F(EngineFixture, ImmediateAnswersPostTheSameNotifications) {
  service.SetDefaultScript({S_OK, {}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{L"object", L"done:0"}), parent.events);

  parent.events.clear();
  service.SetDefaultScript({E_NOINTERFACE, {}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{Done(E_NOINTERFACE)}), parent.events);
}

TEST_F(EngineFixture, BindingWithoutObjectReportsOnlyItsEnd) {
  service.SetDefaultScript(FailsScript(E_FAIL));
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{L"progress:1", L"progress:4", Done(E_FAIL)}), parent.events);
}

TEST_F(EngineFixture, RefusesObjectsThatAreNotClassFactories) {
  service.SetDefaultScript({MK_S_ASYNCHRONOUS,
                            {BindStep::Start(), BindStep::Object(IID_IUnknown),
                             BindStep::Object(IID_IClassFactory, true), BindStep::Stop()}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{Done(kOutcomeNoClassObject)}), parent.events);
  EXPECT_EQ(
      (Events{L"OnStartBinding -> 0x00000000", L"OnObjectAvailable -> 0x80070057",
              L"OnObjectAvailable -> 0x80070057", L"OnStopBinding(0x00000000) -> 0x00000000"}),
      service.Calls());
}

TEST_F(EngineFixture, FindingResourceTwiceAbortsTheRow) {
  service.SetDefaultScript(
      {MK_S_ASYNCHRONOUS,
       {BindStep::Start(), BindStep::Progress(BINDSTATUS_FINDINGRESOURCE),
        BindStep::Progress(BINDSTATUS_FINDINGRESOURCE), BindStep::Object(), BindStep::Stop()}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ(1, service.AbortCount());
  EXPECT_EQ((Events{L"progress:1", L"progress:1", L"done:-1"}), parent.events);
  EXPECT_EQ(L"OnStopBinding(0x80004004) -> 0x00000000", service.Calls().back());
}

TEST_F(EngineFixture, FindingResourceTwiceCountsAcrossRows) {
  // The first row's last status is finding-resource; the next row's first one aborts that row.
  service.SetScript(L"First.cab",
                    {MK_S_ASYNCHRONOUS,
                     {BindStep::Start(), BindStep::Object(),
                      BindStep::Progress(BINDSTATUS_FINDINGRESOURCE), BindStep::Stop()}});
  service.SetScript(L"Second.cab",
                    {MK_S_ASYNCHRONOUS,
                     {BindStep::Start(), BindStep::Progress(BINDSTATUS_FINDINGRESOURCE),
                      BindStep::Object(), BindStep::Stop()}});
  parent.onDone = [&] { Install(kClsid, L"C:\\c\\Second.cab"); };
  Install(kClsid, L"C:\\c\\First.cab");
  ASSERT_TRUE(parent.WaitForDone(2));
  EXPECT_EQ((Events{L"object", L"progress:1", L"done:0", L"progress:1", L"done:-1"}),
            parent.events);
}

TEST_F(EngineFixture, HtmlCodeBaseIsRefusedAndAborted) {
  service.SetDefaultScript(
      {MK_S_ASYNCHRONOUS,
       {BindStep::Start(), BindStep::Progress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/HTML"),
        BindStep::ProgressNoText(BINDSTATUS_MIMETYPEAVAILABLE),
        BindStep::Progress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html"), BindStep::Object(),
        BindStep::Stop()}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{L"progress:13", L"progress:13", L"progress:13", L"done:-2"}), parent.events);
  EXPECT_EQ(L"OnProgress(13,text/HTML) -> 0x00000000", service.Calls()[1]);
  EXPECT_EQ(L"OnProgress(13,text/html) -> 0x80070057", service.Calls()[3]);
  EXPECT_EQ(1, service.AbortCount());
}

TEST_F(EngineFixture, AbortEndsTheBindingAndIsHarmlessWithoutOne) {
  EXPECT_EQ(S_OK, engine.Abort());
  service.SetDefaultScript(
      {MK_S_ASYNCHRONOUS,
       {BindStep::Start(), BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA),
        BindStep::Action([&](IBindStatusCallback*) { EXPECT_EQ(S_OK, engine.Abort()); }),
        BindStep::Object(), BindStep::Stop()}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ((Events{L"progress:4", Done(E_ABORT)}), parent.events);
  EXPECT_EQ(1, service.AbortCount());
  EXPECT_FALSE(service.BindingActive());
  // After the end the binding is no longer held.
  EXPECT_EQ(S_OK, engine.Abort());
  EXPECT_EQ(1, service.AbortCount());
}

// The binding-ended notification says why a row ended without its class object: our own
// reason when we ended it, else the failure the service reported, else that no class factory
// came; an installed row reads 0.
TEST_F(EngineFixture, BindingEndCarriesTheRowsOutcome) {
  const struct {
    const char* what;
    BindScript script;
    LONG outcome;
  } cases[] = {
      {"installed", InstallsScript(), kOutcomeNoError},
      {"available at once", {S_OK, {}}, kOutcomeNoError},
      {"refused at once", {INET_E_DOWNLOAD_FAILURE, {}}, INET_E_DOWNLOAD_FAILURE},
      {"ended with a failure", FailsScript(INET_E_RESOURCE_NOT_FOUND), INET_E_RESOURCE_NOT_FOUND},
      {"ended well without an object",
       {MK_S_ASYNCHRONOUS, {BindStep::Start(), BindStep::Stop(S_OK)}},
       kOutcomeNoClassObject},
      {"only a refused object",
       {MK_S_ASYNCHRONOUS, {BindStep::Start(), BindStep::Object(IID_IUnknown), BindStep::Stop()}},
       kOutcomeNoClassObject},
      {"finding-resource twice",
       {MK_S_ASYNCHRONOUS,
        {BindStep::Start(), BindStep::Progress(BINDSTATUS_FINDINGRESOURCE),
         BindStep::Progress(BINDSTATUS_FINDINGRESOURCE), BindStep::Stop()}},
       kOutcomeResourceNotFound},
      {"a web page",
       {MK_S_ASYNCHRONOUS,
        {BindStep::Start(), BindStep::Progress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html"),
         BindStep::Stop()}},
       kOutcomeHtmlCodeBase},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    service.SetDefaultScript(c.script);
    parent.events.clear();
    Install();
    ASSERT_TRUE(parent.WaitForDone());
    EXPECT_EQ(Done(c.outcome), parent.events.back());
  }
}

// An engine that goes while its row runs ends the binding and hears nothing more of it.
TEST_F(EngineFixture, GoingWhileARowRunsAbortsAndLetsGoOfTheBinding) {
  service.SetDefaultScript(
      {MK_S_ASYNCHRONOUS,
       {BindStep::Start(), BindStep::Progress(BINDSTATUS_BEGINDOWNLOADDATA),
        BindStep::Action([&](IBindStatusCallback*) { engine.Destroy(); }),
        BindStep::Progress(BINDSTATUS_ENDDOWNLOADDATA), BindStep::Object(), BindStep::Stop()}});
  Install();
  EXPECT_TRUE(PumpUntil([&] { return !service.BindingActive(); }));
  EXPECT_EQ(1, service.AbortCount());
  EXPECT_FALSE(::IsWindow(engine.Handle()));
  // What the service still says goes nowhere: the callback answers, nobody is told.
  EXPECT_EQ((Events{L"progress:4"}), parent.events);
  EXPECT_EQ(L"OnStopBinding(0x80004004) -> 0x00000000", service.Calls().back());
}

TEST_F(EngineFixture, CallbackNamesTheEngineAsOwnerWindow) {
  HWND window = reinterpret_cast<HWND>(0xdeadbeef);
  // Asked of the callback the engine registered, while its row runs (through the service
  // provider of the holder the bind context keeps it in).
  const auto ask = [&](IBindStatusCallback* callback) {
    Microsoft::WRL::ComPtr<IServiceProvider> services;
    ASSERT_EQ(S_OK, callback->QueryInterface(IID_PPV_ARGS(&services)));
    Microsoft::WRL::ComPtr<IWindowForBindingUI> ui;
    ASSERT_EQ(S_OK, services->QueryService(IID_IWindowForBindingUI, IID_IWindowForBindingUI,
                                           reinterpret_cast<void**>(ui.GetAddressOf())));
    EXPECT_EQ(S_OK, ui->GetWindow(IID_IHttpSecurity, &window));
    LONG priority = 0;
    EXPECT_EQ(E_NOTIMPL, callback->GetPriority(&priority));
    EXPECT_EQ(E_NOTIMPL, callback->OnLowResource(0));
  };
  service.SetDefaultScript(
      {MK_S_ASYNCHRONOUS, {BindStep::Start(), BindStep::Action(ask), BindStep::Stop()}});
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ(engine.Handle(), window);
}

// Installing the connection-limit component raises the user's per-server limit to at least 10.
TEST_F(EngineFixture, ConnectionLimitComponentRaisesTheLimit) {
  const std::wstring path = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, path));
  const auto saved = key.ReadDword(L"MaxConnectionsPerServer");

  struct Case {
    std::optional<DWORD> before;
    DWORD after;
  };
  for (const Case& c :
       {Case{2, 10}, Case{4, 10}, Case{16, 16}, Case{std::nullopt, 10}, Case{10, 10}}) {
    ::RegDeleteValueW(key.Get(), L"MaxConnectionsPerServer");
    if (c.before) {
      ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(L"MaxConnectionsPerServer", *c.before));
    }
    parent.events.clear();
    Install(ConnectionLimitClsid().c_str());
    ASSERT_TRUE(parent.WaitForDone());
    EXPECT_EQ(c.after, key.ReadDword(L"MaxConnectionsPerServer").value_or(0));
  }
  // Any other component leaves the value alone.
  ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(L"MaxConnectionsPerServer", 2));
  parent.events.clear();
  Install(kClsid);
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ(2u, key.ReadDword(L"MaxConnectionsPerServer").value_or(0));

  ::RegDeleteValueW(key.Get(), L"MaxConnectionsPerServer");
  if (saved) (void)key.WriteDword(L"MaxConnectionsPerServer", *saved);
}

// A console user known by SID has the limit raised in that user's own hive.
TEST(InstallEngine, ConnectionLimitGoesToTheConsoleUsersHive) {
  const std::wstring sid = L"S-1-5-21-1004336348-1177238915-682003330-5001";
  const std::wstring path =
      sid + L"\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_USERS, path));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteDword(L"MaxConnectionsPerServer", 6));

  CScriptedCodeDownload service;
  RecordingParent parent;
  CInstallEngine engine(service, ConsoleUserSettings{HKEY_USERS, L"", sid});
  ASSERT_TRUE(engine.Create(parent.Handle()));
  engine.SetTarget(ConnectionLimitClsid(), kCodeBase, kCatalogVersionText);
  engine.Start();
  ASSERT_TRUE(parent.WaitForDone());
  EXPECT_EQ(10u, key.ReadDword(L"MaxConnectionsPerServer").value_or(0));
  key.Close();
  (void)RegKey::DeleteTree(HKEY_USERS, sid);
}

// With a known console user: that user's stored settings for the control are erased, and the
// control is pre-approved for the machine.
TEST(InstallEngine, PreparesTheConsoleUsersSettings) {
  const std::wstring settings = L"Software\\KoviraEngineTest\\Ext\\Settings\\";
  const std::wstring preApproved =
      std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\") + kClsid;
  ASSERT_EQ(ERROR_SUCCESS, RegKey::DeleteTree(HKEY_LOCAL_MACHINE, preApproved));
  RegKey stored;
  ASSERT_EQ(ERROR_SUCCESS, stored.Create(HKEY_CURRENT_USER, settings + kClsid));
  ASSERT_EQ(ERROR_SUCCESS, stored.WriteDword(L"Flags", 1));
  stored.Close();
  // A key with subkeys is not erased.
  RegKey nested;
  ASSERT_EQ(ERROR_SUCCESS,
            nested.Create(HKEY_CURRENT_USER, settings + ConnectionLimitClsid() + L"\\iexplore"));
  nested.Close();

  CScriptedCodeDownload service;
  RecordingParent parent;
  CInstallEngine engine(service, ConsoleUserSettings{HKEY_CURRENT_USER, settings, L""});
  ASSERT_TRUE(engine.Create(parent.Handle()));
  engine.SetTarget(kClsid, kCodeBase, kCatalogVersionText);
  engine.Start();
  ASSERT_TRUE(parent.WaitForDone());

  RegKey probe;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe.Open(HKEY_CURRENT_USER, settings + kClsid));
  EXPECT_EQ(ERROR_SUCCESS, probe.Open(HKEY_CURRENT_USER, settings + ConnectionLimitClsid()));
  // Installing the component whose key has subkeys leaves that key in place.
  engine.SetTarget(ConnectionLimitClsid(), kCodeBase, kCatalogVersionText);
  engine.Start();
  ASSERT_TRUE(parent.WaitForDone(2));
  EXPECT_EQ(ERROR_SUCCESS,
            probe.Open(HKEY_CURRENT_USER, settings + ConnectionLimitClsid() + L"\\iexplore"));
  EXPECT_EQ(ERROR_SUCCESS, probe.Open(HKEY_LOCAL_MACHINE, preApproved));
  probe.Close();
  (void)RegKey::DeleteTree(HKEY_CURRENT_USER, L"Software\\KoviraEngineTest");
  (void)RegKey::DeleteTree(HKEY_LOCAL_MACHINE, preApproved);
}

// Without a known user nothing is erased or pre-approved.
TEST_F(EngineFixture, UnknownUserLeavesSettingsAlone) {
  const std::wstring preApproved =
      std::wstring(L"Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\PreApproved\\") + kClsid;
  ASSERT_EQ(ERROR_SUCCESS, RegKey::DeleteTree(HKEY_LOCAL_MACHINE, preApproved));
  Install();
  ASSERT_TRUE(parent.WaitForDone());
  RegKey probe;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, probe.Open(HKEY_LOCAL_MACHINE, preApproved));
}

}  // namespace
