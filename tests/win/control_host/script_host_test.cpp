// axrun's script host: JScript with named items, calls into the script, errors with lines.
#include "tools/axrun/script_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/com_server/variant.h"
#include "tests/win/test_files.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

// A named item with one method, Note(...), that logs its arguments as text in source order.
class Recorder final : public CComObject<IDispatch> {
 public:
  std::vector<std::wstring> notes;

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
    *id = std::wstring(names[0]) == L"Note" ? 1 : DISPID_UNKNOWN;
    return *id == 1 ? S_OK : DISP_E_UNKNOWNNAME;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    std::wstring note;
    for (UINT i = params->cArgs; i-- > 0;) {
      ScopedVariant text;
      if (FAILED(::VariantChangeType(text.Receive(), &params->rgvarg[i], 0, VT_BSTR))) {
        return DISP_E_TYPEMISMATCH;
      }
      note += (note.empty() ? L"" : L" ") + std::wstring(text.Get().bstrVal);
    }
    notes.push_back(note);
    if (result) ::VariantInit(result);
    return S_OK;
  }

 private:
  ~Recorder() override = default;
};

class ScriptHost : public testing::Test {
 protected:
  void SetUp() override {
    script_ =
        MakeComObject<CScriptHost>([this](const ScriptError& error) { errors_.push_back(error); });
    ASSERT_EQ(script_->Start(), S_OK);
    ASSERT_EQ(script_->AddItem(L"probe", recorder_.Get(), nullptr, SCRIPTITEM_ISVISIBLE), S_OK);
  }
  void TearDown() override { script_->Close(); }

  ComPtr<Recorder> recorder_ = MakeComObject<Recorder>();
  std::vector<ScriptError> errors_;
  ComPtr<CScriptHost> script_;
};

TEST_F(ScriptHost, GlobalCodeRunsWithTheNamedItems) {
  ASSERT_EQ(script_->Run(L"probe.Note('a', 1);\nprobe.Note(2 + 3);\n"), S_OK);
  EXPECT_THAT(recorder_->notes, ElementsAre(L"a 1", L"5"));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ScriptHost, CallPassesArgumentsInSourceOrderAndSkipsMissingFunctions) {
  ASSERT_EQ(script_->Run(L"function handler(t, n) { probe.Note(t, n, typeof n); }"), S_OK);
  std::vector<ScopedVariant> arguments;
  arguments.emplace_back(L"text");
  arguments.emplace_back(LONG{42});
  EXPECT_EQ(script_->Call(L"handler", arguments), S_OK);
  EXPECT_EQ(script_->Call(L"missing", arguments), S_FALSE);
  EXPECT_THAT(recorder_->notes, ElementsAre(L"text 42 number"));
  EXPECT_TRUE(errors_.empty());
}

TEST_F(ScriptHost, CallGivesBackWhatTheFunctionReturned) {
  ASSERT_EQ(script_->Run(L"function answer(what) {\n"
                         L"  if (what == 'no') return false;\n"
                         L"  if (what == 'number') return 7;\n"
                         L"  if (what == 'text') return 'yes';\n"
                         L"  if (what == 'throw') nope();\n"
                         L"}\n"),
            S_OK);
  ScopedVariant no, seven(LONG{7}), yes(L"yes"), nothing;
  no.Pointer()->vt = VT_BOOL;
  no.Pointer()->boolVal = VARIANT_FALSE;
  const struct {
    const wchar_t* what;
    ScopedVariant* expected;
  } cases[] = {{L"no", &no}, {L"number", &seven}, {L"text", &yes}, {L"nothing", &nothing}};
  for (const auto& c : cases) {
    std::vector<ScopedVariant> arguments;
    arguments.emplace_back(c.what);
    ScopedVariant result(static_cast<LONG>(0xdeadbeef));
    EXPECT_EQ(script_->Call(L"answer", arguments, &result), S_OK) << c.what;
    EXPECT_EQ(result.Get().vt, c.expected->Get().vt) << c.what;
    EXPECT_EQ(::VarCmp(result.Pointer(), c.expected->Pointer(), LOCALE_USER_DEFAULT, 0), VARCMP_EQ)
        << c.what;
  }
  // No such function, or one that fails: nothing comes back.
  std::vector<ScopedVariant> throwing;
  throwing.emplace_back(L"throw");
  for (const wchar_t* function : {L"missing", L"answer"}) {
    ScopedVariant result(static_cast<LONG>(0xdeadbeef));
    EXPECT_NE(script_->Call(function, throwing, &result), S_OK) << function;
    EXPECT_EQ(result.Get().vt, VT_EMPTY) << function;
  }
  EXPECT_EQ(errors_.size(), 1u);  // the throwing call's
}

TEST_F(ScriptHost, ErrorsAreReportedOnceWithTheirLine) {
  EXPECT_EQ(script_->Run(L"probe.Note('before');\n\nnope();\nprobe.Note('after');\n"),
            SCRIPT_E_REPORTED);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].line, 3u);
  EXPECT_FALSE(errors_[0].message.empty());
  EXPECT_TRUE(FAILED(errors_[0].code));
  EXPECT_THAT(recorder_->notes, ElementsAre(L"before"));

  errors_.clear();
  EXPECT_EQ(script_->Run(L"var fine = 1;\nvar broken = (;\n"), SCRIPT_E_REPORTED);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0].line, 2u);

  // An error inside a function the host calls is reported too, exactly once.
  errors_.clear();
  ASSERT_EQ(script_->Run(L"function bad() {\n  nope();\n}\n"), S_OK);
  EXPECT_TRUE(FAILED(script_->Call(L"bad", {})));
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_THAT(errors_[0].line, testing::AnyOf(0u, 2u));  // where the engine tells it
}

TEST_F(ScriptHost, ItemsAreFoundByNameAndLetGoOnClose) {
  ComPtr<IUnknown> object;
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(script_->GetItemInfo(L"probe", SCRIPTINFO_IUNKNOWN, &object, nullptr), S_OK);
  EXPECT_EQ(object.Get(), static_cast<IUnknown*>(recorder_.Get()));
  EXPECT_EQ(script_->GetItemInfo(L"probe", SCRIPTINFO_ITYPEINFO, nullptr, &info),
            TYPE_E_ELEMENTNOTFOUND);  // it was given none
  EXPECT_EQ(script_->GetItemInfo(L"other", SCRIPTINFO_IUNKNOWN, &object, nullptr),
            TYPE_E_ELEMENTNOTFOUND);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(script_->GetItemInfo(L"probe", SCRIPTINFO_IUNKNOWN, nullptr, nullptr), E_POINTER);

  ASSERT_EQ(script_->Run(L"probe.Note('used');"), S_OK);
  script_->Close();
  EXPECT_EQ(ReferenceCount(recorder_.Get()), 1u);
  EXPECT_EQ(script_->Call(L"anything", {}), E_UNEXPECTED);
}

}  // namespace
