#include "installer/browser_check.h"

#include <gtest/gtest.h>

#include <objidl.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "common/text_compare.h"
#include "common/user_prompt.h"
#include "installer/catalog.h"
#include "installer/module_enumerator.h"
#include "installer/wide_string_list.h"
#include "tests/win/stand_in_turn.h"
#include "tests/win/temp_folder.h"

namespace {

namespace fs = std::filesystem;

fs::path BuildFolder() { return fs::path(ModuleFilePath(nullptr)).parent_path().parent_path(); }

// Any sample module will do as the file a browser has loaded; this one has no COM in it.
fs::path SampleModule() { return BuildFolder() / L"samples" / L"BrenvoRes.dll"; }

std::wstring Upper(std::wstring text) {
  ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::vector<std::wstring> Paths(const CWideStringList& list) {
  std::vector<std::wstring> paths;
  for (size_t i = 0; i < list.Count(); ++i)
    paths.emplace_back(list.Get(i) ? list.Get(i) : L"(null)");
  return paths;
}

bool Holds(const CWideStringList& list, const std::wstring& path) {
  for (const auto& p : Paths(list)) {
    if (p == path) return true;
  }
  return false;
}

// A stand-in browser process: a frame window of the browser's class over the given modules.
class StandIn {
 public:
  explicit StandIn(const std::vector<std::wstring>& modules, const std::wstring& switches = L"") {
    const fs::path program = BuildFolder() / L"stand_in_browser" / L"stand_in_browser.exe";
    std::wstring commandLine = L"\"" + program.wstring() + L"\" --lifetime 30000 " + switches;
    for (const auto& module : modules) commandLine += L" \"" + module + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
      ADD_FAILURE() << "cannot start " << program << ": " << ::GetLastError();
      return;
    }
    ::CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    id_ = info.dwProcessId;
    // The window appears only after every module has loaded.
    for (int i = 0; i < 1500 && frame_ == nullptr; ++i) {
      if (Ended()) {
        ADD_FAILURE() << "stand-in ended early with code " << ExitCode();
        return;
      }
      ::EnumWindows(MatchFrame, reinterpret_cast<LPARAM>(this));
      if (frame_ == nullptr) ::Sleep(10);
    }
    if (frame_ == nullptr) ADD_FAILURE() << "stand-in showed no frame";
  }
  ~StandIn() {
    if (process_ && !Ended()) {
      ::TerminateProcess(process_.Get(), 99);
      ::WaitForSingleObject(process_.Get(), 5000);
    }
  }
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  DWORD Id() const { return id_; }
  HWND Frame() const { return frame_; }
  bool Ended(DWORD waitMs = 0) const {
    return ::WaitForSingleObject(process_.Get(), waitMs) == WAIT_OBJECT_0;
  }
  // Ended by its window closing (0), not by its lifetime or by us.
  bool Closed(DWORD waitMs = 5000) const { return Ended(waitMs) && ExitCode() == 0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }

 private:
  static BOOL CALLBACK MatchFrame(HWND window, LPARAM self) {
    auto* standIn = reinterpret_cast<StandIn*>(self);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    if (owner != standIn->id_ || title != L"Stand-in browser " + std::to_wstring(owner))
      return TRUE;
    standIn->frame_ = window;
    return FALSE;
  }

  ScopedHandle process_;
  DWORD id_ = 0;
  HWND frame_ = nullptr;
};

// The real enumerator, but only for the test's own stand-ins: tests run side by side on one
// desktop, and no test may close another's browsers. Records whom it was asked about.
class OwnProcessesLister final : public IModuleLister {
 public:
  void Own(const StandIn& standIn) { own_.insert(standIn.Id()); }
  bool EnumModules(DWORD processId, CWideStringList& list) override {
    if (own_.count(processId) == 0) return false;
    asked.push_back(processId);
    CModuleEnumerator enumerator;
    return enumerator.EnumModules(processId, list);
  }
  std::vector<DWORD> asked;

 private:
  std::set<DWORD> own_;
};

class AnsweringPrompt final : public IUserPrompt {
 public:
  int Show(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) override {
    ++shown;
    lastOwner = owner;
    lastText = text;
    lastCaption = caption;
    lastStyle = style;
    return answer;
  }
  int answer = IDYES;
  int shown = 0;
  HWND lastOwner = nullptr;
  std::wstring lastText, lastCaption;
  UINT lastStyle = 0;
};

const wchar_t kQuestion[] = L"Close the browser?";
const wchar_t kCaption[] = L"installer";

// Catalog rows no other test's CAB folder has, so that a concurrent run of the real check
// elsewhere leaves these browsers alone.
const wchar_t kPresentCab[] = L"Kelmoth.cab";
const wchar_t kPresentModule[] = L"Kelmoth.dll";
const wchar_t kAbsentModule[] = L"Wistan.dll";

class BrowserCheck : public ::testing::Test {
 protected:
  // Scans a CAB folder holding exactly the named CABs.
  void PresentCabs(std::initializer_list<const wchar_t*> cabs) {
    fs::create_directories(folder_.Path() / L"cabfiles");
    for (const wchar_t* cab : cabs) folder_.Touch(std::wstring(L"cabfiles\\") + cab);
    ASSERT_TRUE(catalog_.Scan(folder_ / L"installer.exe"));
  }

  // A copy of the sample module under another name, in a folder of its own.
  std::wstring Module(const std::wstring& name, const fs::path& subfolder = L"modules") {
    const fs::path target = folder_.Path() / subfolder / name;
    fs::create_directories(target.parent_path());
    fs::copy_file(SampleModule(), target, fs::copy_options::overwrite_existing);
    return target.wstring();
  }

  std::unique_ptr<StandIn> Start(const std::vector<std::wstring>& modules,
                                 const std::wstring& switches = L"") {
    auto standIn = std::make_unique<StandIn>(modules, switches);
    lister_.Own(*standIn);
    return standIn;
  }

  bool RunCheck() {
    CBrowserCheck check(catalog_, confirm_, prompt_, nullptr, kCaption, kQuestion, &lister_);
    return check.Run() == CBrowserCheck::Outcome::kDone;
  }

  StandInTurn turn_;  // first in, last out: every stand-in has gone before it ends
  TempFolder folder_{L"kovira browsers"};
  CCatalog catalog_;
  bool confirm_ = false;
  AnsweringPrompt prompt_;
  OwnProcessesLister lister_;
};

TEST_F(BrowserCheck, ClosesFrameHoldingPresentComponentsModule) {
  PresentCabs({kPresentCab});
  auto exact = Start({Module(kPresentModule)});
  // Matching is by substring and without regard to case.
  auto longer = Start({Module(L"oldkelmoth.DLL", L"other")});
  ASSERT_TRUE(exact->Frame() && longer->Frame());

  EXPECT_TRUE(RunCheck());
  EXPECT_TRUE(exact->Closed());
  EXPECT_TRUE(longer->Closed());
  EXPECT_EQ(0, prompt_.shown);
}

TEST_F(BrowserCheck, LeavesFrameWithoutPresentModulesAndAsksNothing) {
  PresentCabs({kPresentCab});
  confirm_ = true;
  // A catalog module whose CAB is absent, and a module no row names.
  auto browser = Start({Module(kAbsentModule), Module(L"Unrelated.dll")});
  ASSERT_TRUE(browser->Frame());

  EXPECT_TRUE(RunCheck());
  EXPECT_EQ(std::vector<DWORD>{browser->Id()}, lister_.asked);  // it was looked at
  EXPECT_FALSE(browser->Ended(300));
  EXPECT_EQ(0, prompt_.shown);
  EXPECT_TRUE(confirm_);
}

TEST_F(BrowserCheck, ChartControlCountsOnlyWhileSomeCabIsPresent) {
  const std::wstring chartControl = Module(L"olch2xu8.ocx");
  {
    PresentCabs({});
    auto browser = Start({chartControl});
    ASSERT_TRUE(browser->Frame());
    EXPECT_TRUE(RunCheck());
    EXPECT_FALSE(browser->Ended(300)) << "closed with no CAB present";
  }
  {
    PresentCabs({kPresentCab});
    auto browser = Start({chartControl});
    ASSERT_TRUE(browser->Frame());
    EXPECT_TRUE(RunCheck());
    EXPECT_TRUE(browser->Closed())
        << "the chart control alone is reason enough once a CAB is present";
  }
}

TEST_F(BrowserCheck, AsksOnceThenClosesEveryMatchingFrame) {
  PresentCabs({kPresentCab});
  confirm_ = true;
  const std::wstring module = Module(kPresentModule);
  auto first = Start({module});
  auto second = Start({module});
  ASSERT_TRUE(first->Frame() && second->Frame());

  EXPECT_TRUE(RunCheck());
  EXPECT_EQ(1, prompt_.shown);
  EXPECT_EQ(kQuestion, prompt_.lastText);
  EXPECT_EQ(kCaption, prompt_.lastCaption);
  EXPECT_EQ(static_cast<UINT>(MB_YESNO), prompt_.lastStyle);
  EXPECT_TRUE(first->Closed());
  EXPECT_TRUE(second->Closed());
  EXPECT_FALSE(confirm_);

  // The Yes holds for later runs too.
  auto later = Start({module});
  ASSERT_TRUE(later->Frame());
  EXPECT_TRUE(RunCheck());
  EXPECT_EQ(1, prompt_.shown);
  EXPECT_TRUE(later->Closed());
}

TEST_F(BrowserCheck, NoStopsAtOnceAndTheNextRunAsksAgain) {
  PresentCabs({kPresentCab});
  confirm_ = true;
  prompt_.answer = IDNO;
  const std::wstring module = Module(kPresentModule);
  auto first = Start({module});
  auto second = Start({module});
  ASSERT_TRUE(first->Frame() && second->Frame());

  EXPECT_FALSE(RunCheck());
  EXPECT_EQ(1, prompt_.shown);
  EXPECT_EQ(1u, lister_.asked.size()) << "windows after the refused one were still looked at";
  EXPECT_TRUE(confirm_);

  EXPECT_FALSE(RunCheck());
  EXPECT_EQ(2, prompt_.shown);
  EXPECT_FALSE(first->Ended(300));
  EXPECT_FALSE(second->Ended(0));
}

TEST_F(BrowserCheck, FrameClassDifferingInCaseIsNoBrowser) {
  PresentCabs({kPresentCab});
  confirm_ = true;
  auto browser = Start({Module(kPresentModule)}, L"--lower-case-class");
  ASSERT_TRUE(browser->Frame());
  wchar_t className[16] = {};
  ::GetClassNameW(browser->Frame(), className, 16);
  ASSERT_STREQ(L"ieframe", className) << "some other process holds the browser's class";

  EXPECT_TRUE(RunCheck());
  EXPECT_TRUE(lister_.asked.empty());
  EXPECT_EQ(0, prompt_.shown);
  EXPECT_FALSE(browser->Ended(300));
}

TEST_F(BrowserCheck, ModuleDeepInLongFolderIsSeen) {
  PresentCabs({kPresentCab});
  fs::path deep = L"modules";
  for (int i = 0; i < 6; ++i) deep /= L"a rather long folder name " + std::to_wstring(i);
  const std::wstring module = Module(kPresentModule, deep);
  ASSERT_GT(module.size() - std::wstring(kPresentModule).size(), 160u);
  auto browser = Start({module});
  ASSERT_TRUE(browser->Frame());

  EXPECT_TRUE(RunCheck());
  EXPECT_TRUE(browser->Closed());
}

// A test window of this thread that counts what it is sent through the queue.
class CountingWindow {
 public:
  CountingWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KoviraCountingWindow";
    ::RegisterClassW(&windowClass);
    window_.Reset(::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr,
                                    nullptr, windowClass.hInstance, nullptr));
  }
  HWND Handle() const { return window_.Get(); }
  static inline int count = 0;
  static constexpr UINT kCounted = WM_APP + 7;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCounted) ++count;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  ScopedWindow window_;
};

TEST_F(BrowserCheck, FrameIgnoringCloseCostsOneSecondOfPumping) {
  PresentCabs({kPresentCab});
  auto browser = Start({Module(kPresentModule)}, L"--ignore-close");
  ASSERT_TRUE(browser->Frame());
  CountingWindow counter;
  ASSERT_NE(nullptr, counter.Handle());
  CountingWindow::count = 0;
  for (int i = 0; i < 150; ++i) ::PostMessageW(counter.Handle(), CountingWindow::kCounted, 0, 0);

  const DWORD start = ::GetTickCount();
  EXPECT_TRUE(RunCheck());
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed, 950u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_FALSE(browser->Ended(0));
  // One message per step at most, and the wait did take them.
  EXPECT_GT(CountingWindow::count, 50);
  EXPECT_LE(CountingWindow::count, 100);

  MSG rest;
  while (::PeekMessageW(&rest, counter.Handle(), 0, 0, PM_REMOVE)) {
  }
}

// The wait for a closing frame stops at once when asked to (Cancel) or when the thread is asked
// to quit; the check goes no further, and a quit request is left for the loop outside.
TEST_F(BrowserCheck, StopRequestOrQuitEndsTheCloseWait) {
  const struct {
    const char* what;
    bool quit;
  } cases[] = {{"asked to stop", false}, {"asked to quit", true}};
  PresentCabs({kPresentCab});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto browser = Start({Module(kPresentModule)}, L"--ignore-close");
    ASSERT_TRUE(browser->Frame());
    int asked = 0;
    CBrowserCheck check(catalog_, confirm_, prompt_, nullptr, kCaption, kQuestion, &lister_,
                        [&] { return ++asked > 0 && !c.quit; });
    if (c.quit) ::PostQuitMessage(3);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(CBrowserCheck::Outcome::kStopped, check.Run());
    EXPECT_LT(::GetTickCount() - start, 500u);
    EXPECT_EQ(c.quit ? 0 : 1, asked);
    MSG message{};
    message.wParam = 0xdeadbeef;
    EXPECT_EQ(c.quit, ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0);
    if (c.quit) EXPECT_EQ(3u, message.wParam);
  }
}

TEST(BrowserCheckText, ContainsNoCaseIgnoresLetterCase) {
  EXPECT_TRUE(ContainsNoCase(L"C:\\PROGRAM FILES\\KOVIRA\\KELMOTH.DLL", L"Kelmoth.dll"));
  EXPECT_TRUE(ContainsNoCase(L"c:\\kovira\\kelmoth.dll", L"KELMOTH.DLL"));
  EXPECT_TRUE(
      ContainsNoCase(L"C:\\\x00DC"
                     L"BER\\X.DLL",
                     L"\x00FC"
                     L"ber"));                                               // beyond ASCII too
  EXPECT_FALSE(ContainsNoCase(L"C:\\KOVIRA\\KELMOTH_DLL", L"KELMOTH.DLL"));  // no wildcards
}

TEST(BrowserCheckText, ContainsNoCaseFindsThePartAnywhere) {
  EXPECT_TRUE(ContainsNoCase(L"KELMOTH.DLL", L"kelmoth.dll"));      // the whole text
  EXPECT_TRUE(ContainsNoCase(L"KELMOTH.DLL.OLD", L"kelmoth.dll"));  // at the start
  EXPECT_TRUE(ContainsNoCase(L"OLDKELMOTH.DLL", L"kelmoth.dll"));   // at the end
  EXPECT_TRUE(ContainsNoCase(L"AAAB", L"aab"));                     // after a false start
  EXPECT_FALSE(ContainsNoCase(L"KELMOTH.DL", L"kelmoth.dll"));      // text shorter than the part
  EXPECT_FALSE(ContainsNoCase(L"", L"x"));
  EXPECT_TRUE(ContainsNoCase(L"anything", L""));  // an empty part is always there
  EXPECT_TRUE(ContainsNoCase(L"", L""));
}

TEST(ModuleEnumerator, OwnProcessListsUpperCasedPathsProgramFirst) {
  CModuleEnumerator enumerator;
  CWideStringList list;
  list.Add(L"stale");
  ASSERT_TRUE(enumerator.EnumModules(0, list));
  ASSERT_GE(list.Count(), 2u);
  EXPECT_EQ(Upper(ModuleFilePath(nullptr)), list.Get(0));
  EXPECT_FALSE(Holds(list, L"stale"));
  bool kernel = false;
  for (const auto& path : Paths(list)) {
    EXPECT_EQ(Upper(path), path);
    kernel = kernel || path.ends_with(L"\\KERNEL32.DLL");
  }
  EXPECT_TRUE(kernel);
}

TEST(ModuleEnumerator, ListsModulesOfAnotherProcess) {
  StandInTurn turn;
  TempFolder folder;
  const fs::path module = folder.Path() / L"Kelmoth.dll";
  fs::copy_file(SampleModule(), module);
  StandIn browser({module.wstring()});
  ASSERT_TRUE(browser.Frame());

  CModuleEnumerator enumerator;
  CWideStringList list;
  ASSERT_TRUE(enumerator.EnumModules(browser.Id(), list));
  EXPECT_TRUE(Holds(list, Upper(module.wstring())));
  EXPECT_TRUE(list.Get(0) && std::wstring(list.Get(0)).ends_with(L"\\STAND_IN_BROWSER.EXE"));
}

TEST(ModuleEnumerator, PathLongerThanABufferIsListedWhole) {
  StandInTurn turn;
  TempFolder folder;
  fs::path deep = folder.Path();
  for (int i = 0; i < 12; ++i) deep /= L"a rather long folder name " + std::to_wstring(i);
  const fs::path module = deep / L"Kelmoth.dll";
  ASSERT_GT(module.wstring().size(), 300u);
  fs::create_directories(deep);
  fs::copy_file(SampleModule(), module);
  StandIn browser({module.wstring()});
  ASSERT_TRUE(browser.Frame());

  CModuleEnumerator enumerator;
  CWideStringList list;
  ASSERT_TRUE(enumerator.EnumModules(browser.Id(), list));
  EXPECT_TRUE(Holds(list, Upper(module.wstring()))) << ::testing::PrintToString(Paths(list));
}

TEST(ModuleEnumerator, SnapshotRoutineListsTheSameProgram) {
  CModuleEnumerator snapshot(CModuleEnumerator::Family::Windows9x, nullptr);
  CWideStringList list;
  list.Add(L"stale");
  ASSERT_TRUE(snapshot.EnumModules(0, list));
  EXPECT_FALSE(Holds(list, L"stale"));
  EXPECT_TRUE(Holds(list, Upper(ModuleFilePath(nullptr))));
}

TEST(ModuleEnumerator, ProcessThatCannotBeOpenedGivesFalseAndEmptyList) {
  // Process ids are multiples of four; this one is never handed out.
  const DWORD noSuchProcess = 0xFFFFFFF0;
  for (auto family : {CModuleEnumerator::Family::Nt, CModuleEnumerator::Family::Windows9x}) {
    CModuleEnumerator enumerator(family, nullptr);
    CWideStringList list;
    list.Add(L"stale");
    EXPECT_FALSE(enumerator.EnumModules(noSuchProcess, list));
    EXPECT_EQ(0u, list.Count());
  }
}

TEST(ModuleEnumerator, MissingLibraryOrEntryPointsListNothing) {
  for (auto family : {CModuleEnumerator::Family::Nt, CModuleEnumerator::Family::Windows9x}) {
    // A library without the entry points: the guarded calls fail instead of jumping to null.
    CModuleEnumerator withoutEntries(family, "version.dll");
    CWideStringList list;
    EXPECT_FALSE(withoutEntries.EnumModules(0, list));
    CModuleEnumerator withoutLibrary(family, "kovira-no-such-library.dll");
    EXPECT_FALSE(withoutLibrary.EnumModules(0, list));
  }
}

TEST(ModuleEnumerator, DebugPrivilegeIsEnabledForAnAdministrator) {
  // The test prefix's user is an administrator, whose token holds the privilege.
  EXPECT_TRUE(CModuleEnumerator::EnableDebugPrivilege());
}

// Counts the task allocator's live blocks, to see what the list frees.
class LiveBlockSpy final : public IMallocSpy {
 public:
  LiveBlockSpy() { registered_ = SUCCEEDED(::CoRegisterMallocSpy(this)); }
  ~LiveBlockSpy() {
    if (registered_) ::CoRevokeMallocSpy();
  }
  bool Registered() const { return registered_; }
  long live = 0;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IMallocSpy) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* actual) override {
    if (actual) ++live;
    return actual;
  }
  void* STDMETHODCALLTYPE PreFree(void* request, BOOL spied) override {
    if (request && spied) --live;
    return request;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest,
                                      BOOL) override {
    *newRequest = request;
    reallocFromNull_ = request == nullptr;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override {
    if (actual && reallocFromNull_) ++live;
    return actual;
  }
  void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  bool registered_ = false;
  bool reallocFromNull_ = false;
};

TEST(WideStringList, CapacityGrowsBySmallStepsThenByAQuarter) {
  // 4 while the capacity is at most 8, 16 while at most 64, then a quarter.
  const std::vector<size_t> steps = {4, 8, 12, 28, 44, 60, 76, 95, 118};
  CWideStringList list;
  EXPECT_EQ(0u, list.Capacity());
  for (size_t n = 1; n <= 100; ++n) {
    ASSERT_TRUE(list.Add(L"x"));
    size_t expected = 0;
    for (size_t step : steps) {
      if (step >= n) {
        expected = step;
        break;
      }
    }
    ASSERT_EQ(expected, list.Capacity()) << "after " << n << " adds";
  }
  EXPECT_EQ(100u, list.Count());
}

TEST(WideStringList, KeepsOwnCopiesAndNullForEmpty) {
  CWideStringList list;
  wchar_t source[] = L"C:\\KOVIRA\\KELMOTH.DLL";
  ASSERT_TRUE(list.Add(source));
  source[0] = L'D';
  ASSERT_TRUE(list.Add(L""));
  ASSERT_TRUE(list.Add(nullptr));
  ASSERT_TRUE(list.Add(L"last"));

  EXPECT_EQ(4u, list.Count());
  ASSERT_NE(nullptr, list.Get(0));
  EXPECT_STREQ(L"C:\\KOVIRA\\KELMOTH.DLL", list.Get(0));
  EXPECT_EQ(nullptr, list.Get(1));
  EXPECT_EQ(nullptr, list.Get(2));
  EXPECT_STREQ(L"last", list.Get(3));
  EXPECT_EQ(nullptr, list.Get(4));
  EXPECT_EQ(nullptr, list.Get(static_cast<size_t>(-1)));
}

TEST(WideStringList, ShrinkAndClearFreeWhatTheyDrop) {
  LiveBlockSpy spy;
  ASSERT_TRUE(spy.Registered());
  {
    CWideStringList list;
    for (int i = 0; i < 10; ++i) list.Add((L"path " + std::to_wstring(i)).c_str());
    list.Add(L"");
    EXPECT_EQ(11, spy.live);  // ten copies and the array; the empty one takes nothing

    list.Shrink(4);
    EXPECT_EQ(4u, list.Count());
    EXPECT_EQ(12u, list.Capacity());
    EXPECT_EQ(5, spy.live);
    EXPECT_EQ(nullptr, list.Get(4));
    list.Shrink(8);  // no growth by shrinking
    EXPECT_EQ(4u, list.Count());

    ASSERT_TRUE(list.Add(L"again"));
    EXPECT_STREQ(L"path 3", list.Get(3));
    EXPECT_STREQ(L"again", list.Get(4));

    list.Clear();
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(0u, list.Capacity());
    EXPECT_EQ(nullptr, list.Get(0));
    EXPECT_EQ(0, spy.live);

    list.Add(L"kept until the end");
    EXPECT_EQ(2, spy.live);
  }
  EXPECT_EQ(0, spy.live) << "the destructor leaves blocks behind";
}

}  // namespace
