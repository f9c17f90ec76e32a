#include <gtest/gtest.h>

#include <string>

#include "common/com_server/com_server.h"
#include "common/module_info.h"
#include "tests/win/com_server/registry_snapshot.h"

namespace {

const Substitution kSubstitutions[] = {{L"NAME", L"Widget"}, {L"ID", L"{1234}"}};

std::wstring Expand(std::wstring_view text, HRESULT* result = nullptr) {
  std::wstring expanded;
  const HRESULT hr = ExpandPlaceholders(text, kSubstitutions, expanded);
  if (result) *result = hr;
  return expanded;
}

HRESULT Check(std::span<const RegistryRow> rows) {
  std::vector<ExpandedRow> expanded;
  return ExpandRows(rows, kSubstitutions, expanded);
}

// A fresh key of this process under HKCU, deleted at the end.
class ScratchKey {
 public:
  ScratchKey()
      : path_(L"Software\\Kovira Tests\\ComServerRows " +
              std::to_wstring(::GetCurrentProcessId())) {
    (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_);
  }
  ~ScratchKey() { (void)RegKey::DeleteTree(HKEY_CURRENT_USER, path_); }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

#define SCRATCH L"Software\\Kovira Tests\\ComServerRows %PID%"

class ComServerRowsWrite : public testing::Test {
 protected:
  ScratchKey scratch_;
  const Substitution substitutions_[2] = {{L"PID", std::to_wstring(::GetCurrentProcessId())},
                                          {L"NAME", L"Widget"}};
  RegistrySnapshot Tree() const { return Snapshot(HKEY_CURRENT_USER, scratch_.Path()); }
};

}  // namespace

TEST(ComServerRows, ExpandFillsPlaceholders) {
  EXPECT_EQ(Expand(L"CLSID\\%ID%\\%NAME%"), L"CLSID\\{1234}\\Widget");
  EXPECT_EQ(Expand(L"plain"), L"plain");
  EXPECT_EQ(Expand(L"100%% of %NAME%%%"), L"100% of Widget%");
  EXPECT_EQ(Expand(L""), L"");
}

TEST(ComServerRows, ExpandRejectsUnknownOrBrokenPlaceholders) {
  HRESULT result = S_OK;
  Expand(L"%NAMES%", &result);
  EXPECT_EQ(result, E_INVALIDARG);
  Expand(L"%name%", &result);  // names match exactly
  EXPECT_EQ(result, E_INVALIDARG);
  Expand(L"%NAME", &result);
  EXPECT_EQ(result, E_INVALIDARG);
  Expand(L"50%", &result);
  EXPECT_EQ(result, E_INVALIDARG);
}

TEST(ComServerRows, GuidTextIsTheRegistrySpelling) {
  const GUID guid = {0x01234567, 0x89ab, 0xcdef, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};
  EXPECT_EQ(GuidText(guid), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(ComServerRows, TableChecksRefuseRowsThatWouldHarmOthers) {
  using enum RegRoot;
  using enum KeyOwnership;
  const RegistryRow owns_clsid[] = {{ClassesRoot, L"clsid", L"", Text(L"x"), Owned}};
  EXPECT_EQ(Check(owns_clsid), E_INVALIDARG);
  const RegistryRow owns_classes[] = {{LocalMachine, L"SOFTWARE\\Classes", L"", NoValue(), Owned}};
  EXPECT_EQ(Check(owns_classes), E_INVALIDARG);
  const RegistryRow owns_shared_parent[] = {
      {ClassesRoot, L"Widget.Shared", L"", Text(L"x"), Owned},
      {ClassesRoot, L"Widget.Shared\\Sub", L"Mine", Text(L"%ID%"), Shared}};
  EXPECT_EQ(Check(owns_shared_parent), E_INVALIDARG);
  const RegistryRow owns_shared_key[] = {
      {ClassesRoot, L"Widget.Shared", L"", Text(L"x"), Owned},
      {ClassesRoot, L"WIDGET.shared", L"Mine", Text(L"x"), Shared}};
  EXPECT_EQ(Check(owns_shared_key), E_INVALIDARG);
  const RegistryRow empty_key[] = {{CurrentUser, L"", L"", Text(L"x"), Owned}};
  EXPECT_EQ(Check(empty_key), E_INVALIDARG);
  const RegistryRow stray_separator[] = {{CurrentUser, L"Software\\A\\\\B", L"", NoValue(), Owned}};
  EXPECT_EQ(Check(stray_separator), E_INVALIDARG);
  const RegistryRow missing_text[] = {
      {CurrentUser, L"Software\\A", L"", RowValue{RowValue::Kind::String, nullptr, 0}, Owned}};
  EXPECT_EQ(Check(missing_text), E_INVALIDARG);
  const RegistryRow unknown_placeholder[] = {
      {CurrentUser, L"Software\\%WHO%", L"", NoValue(), Owned}};
  EXPECT_EQ(Check(unknown_placeholder), E_INVALIDARG);
}

TEST(ComServerRows, TableChecksAcceptOrdinaryServerRows) {
  using enum RegRoot;
  using enum KeyOwnership;
  const RegistryRow rows[] = {
      {ClassesRoot, L"CLSID\\%ID%", L"", Text(L"%NAME%"), Owned},
      {ClassesRoot, L"CLSID\\%ID%\\InprocServer32", L"ThreadingModel", Text(L"Both"), Owned},
      // A shared value beside an owned key with a similar name is no conflict.
      {ClassesRoot, L"CLSID\\%ID%x", L"Mine", Number(1), Shared},
      {ClassesRoot, L"Widget.Shared", L"Mine", Text(L"%ID%"), Shared},
      {ClassesRoot, L"CLSID", L"Mine", Text(L"%ID%"), Shared}};
  std::vector<ExpandedRow> expanded;
  ASSERT_EQ(ExpandRows(rows, kSubstitutions, expanded), S_OK);
  ASSERT_EQ(expanded.size(), 5u);
  EXPECT_EQ(expanded[0].key, L"CLSID\\{1234}");
  EXPECT_EQ(expanded[0].text, L"Widget");
  EXPECT_EQ(expanded[0].root, HKEY_CLASSES_ROOT);
  EXPECT_EQ(expanded[1].name, L"ThreadingModel");
  EXPECT_EQ(expanded[2].number, 1u);
}

TEST_F(ComServerRowsWrite, WritesExactlyTheRows) {
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\Widget", L"", Text(L"%NAME% v1"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Widget", L"Flags", Number(0x80000001),
       KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Widget\\Control", L"", NoValue(), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Common", L"%NAME%", Text(L"yes"), KeyOwnership::Shared}};
  ASSERT_EQ(WriteRows(rows, substitutions_), S_OK);
  const RegistrySnapshot expected = {
      {L"", {}},
      {L"widget", {{L"", L"sz:Widget v1"}, {L"flags", L"dword:2147483649"}}},
      {L"widget\\control", {}},
      {L"common", {{L"widget", L"sz:yes"}}}};
  EXPECT_EQ(Tree(), expected);
  // Writing again changes nothing.
  ASSERT_EQ(WriteRows(rows, substitutions_), S_OK);
  EXPECT_EQ(Tree(), expected);
}

TEST_F(ComServerRowsWrite, ReplacedKeyLosesWhatAnEarlierRegistrationLeft) {
  const RegistryRow old_rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\Widget\\Stale", L"", Text(L"old"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Widget", L"Old", Number(1), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Common", L"Other", Text(L"theirs"), KeyOwnership::Shared}};
  ASSERT_EQ(WriteRows(old_rows, substitutions_), S_OK);
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\Widget", L"", Text(L"new"), KeyOwnership::Replaced},
      {RegRoot::CurrentUser, SCRATCH L"\\Widget\\Control", L"", NoValue(), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Common", L"%NAME%", Text(L"yes"), KeyOwnership::Shared}};
  ASSERT_EQ(WriteRows(rows, substitutions_), S_OK);
  const RegistrySnapshot expected = {
      {L"", {}},
      {L"widget", {{L"", L"sz:new"}}},
      {L"widget\\control", {}},
      {L"common", {{L"other", L"sz:theirs"}, {L"widget", L"sz:yes"}}}};
  EXPECT_EQ(Tree(), expected);
  ASSERT_EQ(RemoveRows(rows, substitutions_), S_OK);
  const RegistrySnapshot after = {{L"", {}}, {L"common", {{L"other", L"sz:theirs"}}}};
  EXPECT_EQ(Tree(), after);
}

TEST_F(ComServerRowsWrite, RemovesOwnedKeysWholeAndOnlySharedValues) {
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\Parent\\Widget", L"", Text(L"w"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Parent\\Widget\\Sub", L"", Text(L"s"),
       KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Parent\\Common", L"Mine", Number(7),
       KeyOwnership::Shared}};
  ASSERT_EQ(WriteRows(rows, substitutions_), S_OK);
  // What others put there: a sibling of ours, a value beside our shared one, and a key someone
  // added below an owned key (owned means all of it goes).
  RegKey key;
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, scratch_.Path() + L"\\Parent\\Other"), ERROR_SUCCESS);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, scratch_.Path() + L"\\Parent\\Common"), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteString(L"Theirs", L"t"), ERROR_SUCCESS);
  ASSERT_EQ(key.Create(HKEY_CURRENT_USER, scratch_.Path() + L"\\Parent\\Widget\\Added\\Deep"),
            ERROR_SUCCESS);
  key.Close();

  ASSERT_EQ(RemoveRows(rows, substitutions_), S_OK);
  const RegistrySnapshot expected = {{L"", {}},
                                     {L"parent", {}},
                                     {L"parent\\other", {}},
                                     {L"parent\\common", {{L"theirs", L"sz:t"}}}};
  EXPECT_EQ(Tree(), expected);
  // Everything already gone: still success, still nothing else touched.
  EXPECT_EQ(RemoveRows(rows, substitutions_), S_OK);
  EXPECT_EQ(Tree(), expected);
  ASSERT_EQ(RegKey::DeleteTree(HKEY_CURRENT_USER, scratch_.Path() + L"\\Parent\\Common"),
            ERROR_SUCCESS);
  EXPECT_EQ(RemoveRows(rows, substitutions_), S_OK);
}

TEST_F(ComServerRowsWrite, FailedWriteTakesBackEarlierRows) {
  const std::wstring too_long(300, L'k');  // longer than a key name may be
  const std::wstring bad_key = SCRATCH L"\\" + too_long;
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\First", L"", Text(L"1"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Common", L"Mine", Text(L"2"), KeyOwnership::Shared},
      {RegRoot::CurrentUser, bad_key.c_str(), L"", Text(L"3"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\Last", L"", Text(L"4"), KeyOwnership::Owned}};
  EXPECT_TRUE(FAILED(WriteRows(rows, substitutions_)));
  const RegistrySnapshot expected = {{L"", {}}, {L"common", {}}};
  EXPECT_EQ(Tree(), expected);
}

TEST_F(ComServerRowsWrite, InvalidTableWritesNothing) {
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\First", L"", Text(L"1"), KeyOwnership::Owned},
      {RegRoot::CurrentUser, SCRATCH L"\\%TYPO%", L"", Text(L"2"), KeyOwnership::Owned}};
  EXPECT_EQ(WriteRows(rows, substitutions_), E_INVALIDARG);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch_.Path()));
  EXPECT_EQ(RemoveRows(rows, substitutions_), E_INVALIDARG);
}

// The program itself stands in for a server DLL here: it has no type library.
TEST_F(ComServerRowsWrite, ServerRegistrationFillsModulePathAndNeedsInit) {
  const RegistryRow rows[] = {
      {RegRoot::CurrentUser, SCRATCH L"\\Server", L"", Text(L"%MODULE%"), KeyOwnership::Owned}};
  ServerDescription server{rows, substitutions_, false};

  ComModule::Init(nullptr);
  EXPECT_EQ(RegisterServer(server), E_UNEXPECTED);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch_.Path()));

  ComModule::Init(::GetModuleHandleW(nullptr));
  ASSERT_EQ(RegisterServer(server), S_OK);
  const RegistrySnapshot registered = {{L"", {}},
                                       {L"server", {{L"", L"sz:" + ModuleFilePath(nullptr)}}}};
  EXPECT_EQ(Tree(), registered);
  EXPECT_EQ(UnregisterServer(server), S_OK);
  EXPECT_EQ(Tree(), (RegistrySnapshot{{L"", {}}}));
  EXPECT_EQ(UnregisterServer(server), S_OK);

  // A server that claims a type library it lacks fails and leaves nothing behind.
  server.typeLibrary = true;
  EXPECT_TRUE(FAILED(RegisterServer(server)));
  EXPECT_EQ(Tree(), (RegistrySnapshot{{L"", {}}}));
  ComModule::Init(nullptr);
}
