#include "installer/utilities.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/module_info.h"
#include "common/reg_key.h"
#include "installer/web_page.h"
#include "tests/win/temp_folder.h"

namespace {

constexpr INT_PTR kNoAssociation =
    SE_ERR_NOASSOC;  // what a shell without an "http" handler answers

// Sees what would be started; the shell answers as told.
class RecordingLauncher final : public IProgramLauncher {
 public:
  INT_PTR shellAnswer = kNoAssociation;
  bool startSucceeds = true;
  std::vector<std::wstring> shellAddresses;
  std::vector<int> shellShows;
  std::vector<std::wstring> started;

  INT_PTR ShellOpen(const std::wstring& address, int show) override {
    shellAddresses.push_back(address);
    shellShows.push_back(show);
    return shellAnswer;
  }
  ScopedHandle StartProcess(const std::wstring& commandLine) override {
    started.push_back(commandLine);
    if (!startSucceeds) return {};
    return ScopedHandle(
        ::CreateEventW(nullptr, TRUE, TRUE, nullptr));  // any handle stands for the process
  }
};

// A private stand-in for HKEY_CLASSES_ROOT, so that these tests leave the real one alone.
class OpenWebPageSeam : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ERROR_SUCCESS, root_.Create(HKEY_CURRENT_USER, path_)); }
  void TearDown() override {
    root_.Close();
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
    ::RegDeleteKeyW(HKEY_CURRENT_USER,
                    L"Software\\KoviraUtilitiesTest");  // unless another run still uses it
  }
  void RegisterHtmlHandler(const std::wstring& openCommand) {
    RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(root_.Get(), L".htm"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(L"", L"BrowserHTML"));
    ASSERT_EQ(ERROR_SUCCESS, key.Create(root_.Get(), L"BrowserHTML\\shell\\open\\command"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString(L"", openCommand));
  }
  WebPageOpened Open() { return OpenWebPage(kMakerHomePage, SW_SHOW, launcher_, root_.Get()); }

  const std::wstring path_ =
      L"Software\\KoviraUtilitiesTest\\" + std::to_wstring(::GetCurrentProcessId());
  RegKey root_;
  RecordingLauncher launcher_;
};

TEST_F(OpenWebPageSeam, ShellOpensTheAddressWhenItCan) {
  RegisterHtmlHandler(L"C:\\Browser\\browser.exe \"%1\"");
  launcher_.shellAnswer = 42;
  const WebPageOpened opened = Open();
  EXPECT_EQ(42, opened.shellResult);
  EXPECT_TRUE(opened.Succeeded());
  EXPECT_FALSE(opened.process.IsValid());
  EXPECT_EQ(std::vector<std::wstring>{kMakerHomePage}, launcher_.shellAddresses);
  EXPECT_EQ(std::vector<int>{SW_SHOW}, launcher_.shellShows);
  EXPECT_TRUE(launcher_.started.empty());
}

// When the shell fails, the HTML handler's open command runs with the address in place of its
// placeholder and everything after it.
TEST_F(OpenWebPageSeam, FallsBackToTheHtmlHandlersOpenCommand) {
  const std::wstring address = kMakerHomePage;
  struct Case {
    const wchar_t* command;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"\"C:\\Program Files\\Browser\\browser.exe\" \"%1\" -nohome -new",
       L"\"C:\\Program Files\\Browser\\browser.exe\" " + address},
      {L"C:\\Browser\\browser.exe %1 -new", L"C:\\Browser\\browser.exe " + address},
      {L"C:\\Browser\\browser.exe -nohome", L"C:\\Browser\\browser.exe -nohome " + address},
      {L"\"C:\\Browser\\browser.exe\"", L"\"C:\\Browser\\browser.exe\" " + address},
      // A quoted placeholder is looked for first, wherever a bare one stands.
      {L"C:\\Browser\\browser.exe -url %1 \"%1\"", L"C:\\Browser\\browser.exe -url %1 " + address},
      {L"C:\\Browser\\browser.exe -url=\"%1\"", L"C:\\Browser\\browser.exe -url= " + address},
      {L"C:\\Browser\\browser.exe   %1", L"C:\\Browser\\browser.exe " + address},
      {L"%1", L" " + address},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    RegisterHtmlHandler(c.command);
    launcher_.started.clear();
    const WebPageOpened opened = Open();
    EXPECT_EQ(kNoAssociation, opened.shellResult);
    EXPECT_TRUE(opened.process.IsValid());
    EXPECT_EQ(std::vector<std::wstring>{c.expected}, launcher_.started);
  }
}

TEST_F(OpenWebPageSeam, ShellResultStandsWhenTheFallbackCannotRun) {
  // No ".htm" class at all.
  WebPageOpened opened = Open();
  EXPECT_EQ(kNoAssociation, opened.shellResult);
  EXPECT_FALSE(opened.Succeeded());
  EXPECT_TRUE(launcher_.started.empty());

  // A class without an open command.
  RegKey key;
  ASSERT_EQ(ERROR_SUCCESS, key.Create(root_.Get(), L".htm"));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteString(L"", L"NoCommandHTML"));
  ASSERT_EQ(ERROR_SUCCESS, key.Create(root_.Get(), L"NoCommandHTML\\shell\\open"));
  opened = Open();
  EXPECT_FALSE(opened.Succeeded());
  EXPECT_TRUE(launcher_.started.empty());

  // The handler does not start.
  RegisterHtmlHandler(L"C:\\Missing\\browser.exe \"%1\"");
  launcher_.startSucceeds = false;
  opened = Open();
  EXPECT_EQ(kNoAssociation, opened.shellResult);
  EXPECT_FALSE(opened.Succeeded());
  EXPECT_EQ(1u, launcher_.started.size());
}

// ---- A real start, through HKEY_CLASSES_ROOT of the test prefix ----

// The shell fails as on a system that cannot open addresses; processes really start.
class ShelllessLauncher final : public IProgramLauncher {
 public:
  INT_PTR ShellOpen(const std::wstring&, int) override { return kNoAssociation; }
  ScopedHandle StartProcess(const std::wstring& commandLine) override {
    return SystemProgramLauncher().StartProcess(commandLine);
  }
};

// Puts a default text under HKEY_CLASSES_ROOT and restores what was there.
class ClassesRootText {
 public:
  explicit ClassesRootText(std::wstring path) : path_(std::move(path)) {
    RegKey key;
    existed_ = key.Open(HKEY_CLASSES_ROOT, path_) == ERROR_SUCCESS;
    if (existed_) saved_ = key.ReadString(L"");
  }
  ~ClassesRootText() {
    if (!existed_) {
      (void)RegKey::DeleteTree(HKEY_CLASSES_ROOT, path_);
      return;
    }
    RegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, path_, KEY_SET_VALUE) != ERROR_SUCCESS) return;
    if (saved_) {
      (void)key.WriteString(L"", *saved_);
    } else {
      ::RegDeleteValueW(key.Get(), nullptr);
    }
  }
  ClassesRootText(const ClassesRootText&) = delete;
  ClassesRootText& operator=(const ClassesRootText&) = delete;

  bool Set(const std::wstring& text) {
    RegKey key;
    return key.Create(HKEY_CLASSES_ROOT, path_) == ERROR_SUCCESS &&
           key.WriteString(L"", text) == ERROR_SUCCESS;
  }

 private:
  std::wstring path_;
  bool existed_ = false;
  std::optional<std::wstring> saved_;
};

std::wstring ReadUtf16File(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  bytes.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(wchar_t));
  return text;
}

TEST(OpenWebPageForReal, StartsTheRegisteredHandlerWithTheAddress) {
  const std::wstring handler =
      (std::filesystem::path(ModuleFilePath(nullptr)).parent_path().parent_path() /
       L"html_handler_stand_in" / L"html_handler.exe")
          .wstring();
  ASSERT_TRUE(std::filesystem::exists(handler)) << handler;
  const std::wstring htmlClass = L"KoviraTestHTML." + std::to_wstring(::GetCurrentProcessId());
  ClassesRootText extension(L".htm");
  ClassesRootText command(htmlClass + L"\\shell\\open\\command");
  ASSERT_TRUE(extension.Set(htmlClass));

  TempFolder folder(L"kovira handler");
  const std::wstring output = folder / L"command line.txt";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"KOVIRA_HANDLER_OUTPUT", output.c_str()));

  const std::wstring address = kMakerHomePage;
  struct Case {
    std::wstring command;
    std::wstring expected;
  };
  const Case cases[] = {
      {L"\"" + handler + L"\" \"%1\" -nohome -new", L"\"" + handler + L"\" " + address},
      {handler + L" %1 -new", handler + L" " + address},
      {L"\"" + handler + L"\" -private", L"\"" + handler + L"\" -private " + address},
  };
  ShelllessLauncher launcher;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::filesystem::remove(std::filesystem::path(output));
    ASSERT_TRUE(command.Set(c.command));
    const WebPageOpened opened = OpenWebPage(address, SW_SHOW, launcher);
    ASSERT_TRUE(opened.process.IsValid());
    EXPECT_EQ(kNoAssociation, opened.shellResult);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(opened.process.Get(), 20000));
    DWORD code = 1;
    ::GetExitCodeProcess(opened.process.Get(), &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(c.expected, ReadUtf16File(output));
  }
  ::SetEnvironmentVariableW(L"KOVIRA_HANDLER_OUTPUT", nullptr);
  (void)RegKey::DeleteTree(HKEY_CLASSES_ROOT, htmlClass);
}

// ---- SameText ----

TEST(SameText, AbsentTextIsEmpty) {
  EXPECT_EQ(0, SameText(nullptr, nullptr));
  EXPECT_EQ(0, SameText(nullptr, L""));
  EXPECT_EQ(0, SameText(L"", nullptr));
  EXPECT_LT(SameText(nullptr, L"Brenvo.cab"), 0);
  EXPECT_GT(SameText(L"Brenvo.cab", nullptr), 0);
}

TEST(SameText, ComparesExactlyInStrcmpOrder) {
  EXPECT_EQ(0, SameText(L"Pelgor.cab", L"Pelgor.cab"));
  EXPECT_NE(0, SameText(L"Pelgor.cab", L"pelgor.cab"));
  EXPECT_NE(0, SameText(L"GORVATH.CAB", L"Gorvath.cab"));
  EXPECT_LT(SameText(L"Brenvo.cab", L"Dastel.CAB"), 0);
  EXPECT_GT(SameText(L"Dastel.CAB", L"Brenvo.cab"), 0);
  // A text that is the start of another comes first.
  EXPECT_LT(SameText(L"Brenvo.cab", L"Brenvo.cab "), 0);
  EXPECT_GT(SameText(L"Brenvo.cabx", L"Brenvo.cab"), 0);
  // Characters compare as unsigned values.
  EXPECT_GT(SameText(L"\u00e9", L"z"), 0);
}

// ---- GetRegistryText ----

class UtilitiesRegistryText : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ERROR_SUCCESS, key_.Create(HKEY_CURRENT_USER, path_)); }
  void TearDown() override {
    key_.Close();
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\KoviraRegistryTextTest");
  }
  const std::wstring path_ =
      L"Software\\KoviraRegistryTextTest\\" + std::to_wstring(::GetCurrentProcessId());
  RegKey key_;
};

TEST_F(UtilitiesRegistryText, MissingKeyFailsWithItsErrorCode) {
  std::wstring text = L"left over";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetRegistryText(HKEY_CURRENT_USER, path_ + L"\\absent", text));
  EXPECT_EQ(L"", text);
}

TEST_F(UtilitiesRegistryText, MissingOrNonTextValueIsAnEmptySuccess) {
  std::wstring text = L"left over";
  EXPECT_EQ(ERROR_SUCCESS, GetRegistryText(HKEY_CURRENT_USER, path_, text));
  EXPECT_EQ(L"", text);

  ASSERT_EQ(ERROR_SUCCESS, key_.WriteString(L"named", L"not the default"));
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteDword(L"", 7));
  text = L"left over";
  EXPECT_EQ(ERROR_SUCCESS, GetRegistryText(HKEY_CURRENT_USER, path_, text));
  EXPECT_EQ(L"", text);
}

TEST_F(UtilitiesRegistryText, ReadsTheDefaultTextWhole) {
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteString(L"", L"htmlfile"));
  std::wstring text;
  EXPECT_EQ(ERROR_SUCCESS, GetRegistryText(HKEY_CURRENT_USER, path_, text));
  EXPECT_EQ(L"htmlfile", text);

  // Longer than any fixed buffer of 260 bytes.
  const std::wstring command = L"\"C:\\" + std::wstring(400, L'b') + L"\\browser.exe\" \"%1\"";
  ASSERT_EQ(ERROR_SUCCESS, key_.WriteString(L"", command));
  EXPECT_EQ(ERROR_SUCCESS, GetRegistryText(HKEY_CURRENT_USER, path_, text));
  EXPECT_EQ(command, text);
}

// ---- Conversions ----

// Non-ASCII text that the ANSI code page of the prefix can hold.
std::wstring NonAsciiText() {
  return ::GetACP() == 932 ? L"\u30ab\u30d3\u30e9" : L"Caf\u00e9 \u00fcber";
}

TEST(UtilitiesConversion, BuffersRoundTrip) {
  for (const std::wstring& text : {std::wstring(L"Brenvo.cab"), NonAsciiText(), std::wstring()}) {
    char ansi[64];
    ASSERT_TRUE(WideToAnsiBuffer(text.c_str(), ansi, sizeof(ansi)));
    wchar_t wide[64];
    ASSERT_TRUE(AnsiToWideBuffer(ansi, wide, 64));
    EXPECT_EQ(text, wide);
  }
  if (::GetACP() == 1252) {
    char ansi[64];
    ASSERT_TRUE(WideToAnsiBuffer(L"Caf\u00e9", ansi, sizeof(ansi)));
    EXPECT_STREQ("Caf\xe9", ansi);
  }
}

TEST(UtilitiesConversion, BufferThatCannotHoldTheTextIsLeftEmpty) {
  wchar_t wide[6];
  wide[0] = L'x';
  EXPECT_FALSE(AnsiToWideBuffer("Brenvo", wide, 6));  // no room for the terminator
  EXPECT_STREQ(L"", wide);
  EXPECT_TRUE(AnsiToWideBuffer("Brenv", wide, 6));
  EXPECT_STREQ(L"Brenv", wide);
  EXPECT_TRUE(AnsiToWideBuffer(nullptr, wide, 6));
  EXPECT_STREQ(L"", wide);

  char ansi[4] = "xyz";
  EXPECT_FALSE(WideToAnsiBuffer(L"Dastel", ansi, sizeof(ansi)));
  EXPECT_STREQ("", ansi);
  EXPECT_TRUE(WideToAnsiBuffer(nullptr, ansi, sizeof(ansi)));
  EXPECT_STREQ("", ansi);
}

TEST(UtilitiesConversion, AnsiToAutomationString) {
  const std::wstring nonAscii = NonAsciiText();
  char ansi[64];
  ASSERT_TRUE(WideToAnsiBuffer(nonAscii.c_str(), ansi, sizeof(ansi)));
  ScopedBstr text = AnsiToBstr(ansi);
  ASSERT_TRUE(text.IsValid());
  EXPECT_EQ(nonAscii.size(), ::SysStringLen(text.Get()));
  EXPECT_EQ(nonAscii, std::wstring(text.Get(), ::SysStringLen(text.Get())));

  for (const char* empty : {"", static_cast<const char*>(nullptr)}) {
    const ScopedBstr none = AnsiToBstr(empty);
    ASSERT_TRUE(none.IsValid());
    EXPECT_EQ(0u, ::SysStringLen(none.Get()));
  }
}

TEST(UtilitiesConversion, AppendsCountedTextToAutomationString) {
  ScopedBstr text;
  ASSERT_EQ(S_OK, AppendToBstr(text, L"Kovira", 6));
  ASSERT_EQ(S_OK, AppendToBstr(text, L" Grid and more", 5));  // only the counted part
  ASSERT_EQ(S_OK, AppendToBstr(text, L"", 0));
  ASSERT_EQ(S_OK, AppendToBstr(text, L"\0x", 2));  // a counted text may hold nulls
  EXPECT_EQ(std::wstring(L"Kovira Grid\0x", 13),
            std::wstring(text.Get(), ::SysStringLen(text.Get())));

  const BSTR before = text.Get();
  EXPECT_EQ(E_OUTOFMEMORY, AppendToBstr(text, L"x", 0x7FFFFFF0u));
  EXPECT_EQ(before, text.Get());
  EXPECT_EQ(13u, ::SysStringLen(text.Get()));
}

}  // namespace
