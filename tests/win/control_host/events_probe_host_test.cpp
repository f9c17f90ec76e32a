// The host with a real server DLL: the events probe, created unregistered from its path or
// registered by ProgID and class id, its events heard through its type library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/com_server/variant.h"
#include "common/module_info.h"
#include "common/scoped_bstr.h"
#include "probe_events.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tools/control_host/control_host.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

std::wstring EventsProbePath() { return BesideTestProgram(L"com_server_events_probe.dll"); }

std::wstring TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR && value.bstrVal ? value.bstrVal : L"(not text)";
}

// Calls Raise(text, number) through the object's IDispatch, by name.
HRESULT RaiseByName(IDispatch* dispatch, const wchar_t* text, LONG number) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Raise")};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT found = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(found)) return found;
  ScopedVariant owned_text(text), owned_number(number);
  VARIANTARG packed[] = {owned_number.Get(), owned_text.Get()};  // last first
  DISPPARAMS params = {packed, nullptr, 2, 0};
  return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                          nullptr, nullptr);
}

// A copy of the probe under a name of its own, so that whether it is loaded says what this
// test did with it alone.
class ProbeCopy {
 public:
  explicit ProbeCopy(const wchar_t* name) : path_(folder_ / name) {
    copied_ = ::CopyFileW(EventsProbePath().c_str(), path_.c_str(), FALSE) != FALSE;
  }
  bool Copied() const { return copied_; }
  const std::wstring& Path() const { return path_; }
  bool Loaded() const { return ::GetModuleHandleW(path_.c_str()) != nullptr; }

 private:
  TempFolder folder_{L"kovira probe"};
  std::wstring path_;
  bool copied_ = false;
};

TEST(EventsProbeHost, CreatesTheFirstClassOfADllWithoutRegistration) {
  CControlHost host;
  ASSERT_EQ(host.Create(EventsProbePath()), S_OK) << host.Error();
  EXPECT_EQ(host.Clsid(), CLSID_EventProbe);
  ASSERT_NE(host.ClassInfo(), nullptr);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(host.ClassInfo()->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, CLSID_EventProbe);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  host.ClassInfo()->ReleaseTypeAttr(attributes);

  // No control: no site, no window, nothing to initialize, but its events are heard.
  EXPECT_FALSE(host.IsControl());
  EXPECT_EQ(host.Site(), nullptr);
  EXPECT_EQ(host.Window(), nullptr);
  EXPECT_EQ(host.HowInitialized(), CControlHost::Initialization::kNone);
  EXPECT_TRUE(host.EventsConnected());
  EXPECT_EQ(host.Activate(), E_NOINTERFACE);
  EXPECT_THAT(host.Error(), HasSubstr(L"IOleObject"));
  EXPECT_FALSE(host.IsActive());

  ComPtr<IEventProbe> probe;
  ASSERT_EQ(host.Object()->QueryInterface(IID_PPV_ARGS(&probe)), S_OK);
  ScopedBstr name(::SysAllocString(L"widget"));
  ScopedBstr described;
  ASSERT_EQ(probe->Describe(name.Get(), 3, described.Receive()), S_OK);
  EXPECT_STREQ(described.Get(), L"widget x3");
}

TEST(EventsProbeHost, EventsArriveByNameWithArgumentsInSourceOrder) {
  CControlHost host;
  std::vector<std::wstring> handled;
  host.SetEventHandler([&](const FiredEvent& event, ScopedVariant&) {
    std::wstring line = event.name;
    for (const ScopedVariant& argument : event.arguments) {
      ScopedVariant text;
      VARIANT source = argument.Get();  // only read
      line += SUCCEEDED(::VariantChangeType(text.Receive(), &source, 0, VT_BSTR))
                  ? L" " + TextOf(text.Get())
                  : L" ?";
    }
    handled.push_back(line);
  });
  ASSERT_EQ(host.Create(EventsProbePath()), S_OK) << host.Error();
  const ComPtr<IDispatch> dispatch = host.Dispatch();
  ASSERT_NE(dispatch, nullptr);
  ASSERT_EQ(RaiseByName(dispatch.Get(), L"hello", 42), S_OK);
  ASSERT_EQ(RaiseByName(dispatch.Get(), L"again", -1), S_OK);
  EXPECT_THAT(handled, ElementsAre(L"Raised hello 42", L"Raised again -1"));
  ASSERT_EQ(host.Events().size(), 2u);
  EXPECT_EQ(host.Events()[0].id, 1);
  EXPECT_EQ(host.Events()[0].name, L"Raised");
  ASSERT_EQ(host.Events()[0].arguments.size(), 2u);
  EXPECT_EQ(host.Events()[0].arguments[0].Get().vt, VT_BSTR);
  EXPECT_EQ(host.Events()[0].arguments[1].Get().vt, VT_I4);
}

TEST(EventsProbeHost, HandlersAnswerReachesTheFiringObject) {
  ScopedVariant no, yes, number(LONG{0}), text(L"false");
  no.Pointer()->vt = yes.Pointer()->vt = VT_BOOL;
  no.Pointer()->boolVal = VARIANT_FALSE;
  yes.Pointer()->boolVal = VARIANT_TRUE;
  const struct {
    const ScopedVariant* answer;  // null: no handler at all
    VARIANT_BOOL allowed;
  } cases[] = {{&no, VARIANT_FALSE},
               {&yes, VARIANT_TRUE},
               {&number, VARIANT_TRUE},
               {&text, VARIANT_TRUE},
               {nullptr, VARIANT_TRUE}};
  for (const auto& c : cases) {
    CControlHost host;
    std::vector<std::wstring> questions;
    if (c.answer != nullptr) {
      host.SetEventHandler([&](const FiredEvent& event, ScopedVariant& answer) {
        questions.push_back(event.name + L" " + TextOf(event.arguments.at(0).Get()));
        EXPECT_EQ(answer.Get().vt, VT_EMPTY);
        EXPECT_EQ(answer.CopyFrom(c.answer->Get()), S_OK);
      });
    }
    ASSERT_EQ(host.Create(EventsProbePath()), S_OK) << host.Error();
    ComPtr<IEventProbe> probe;
    ASSERT_EQ(host.Object()->QueryInterface(IID_PPV_ARGS(&probe)), S_OK);
    ScopedBstr question(::SysAllocString(L"may I?"));
    VARIANT_BOOL allowed = static_cast<VARIANT_BOOL>(0xbeef);
    ASSERT_EQ(probe->Ask(question.Get(), &allowed), S_OK);
    EXPECT_EQ(allowed, c.allowed) << "answer type " << (c.answer ? c.answer->Get().vt : -1);
    ASSERT_EQ(host.Events().size(), 1u);  // recorded as any other event
    EXPECT_EQ(host.Events()[0].name, L"Asking");
    if (c.answer != nullptr) {
      EXPECT_THAT(questions, ElementsAre(L"Asking may I?"));
    }
  }
}

TEST(EventsProbeHost, CloseUnadvisesAndUnloadsTheDll) {
  ProbeCopy copy(L"probe_unloads.dll");
  ASSERT_TRUE(copy.Copied());
  CControlHost host;
  ASSERT_EQ(host.Create(copy.Path()), S_OK) << host.Error();
  EXPECT_TRUE(copy.Loaded());
  ASSERT_EQ(RaiseByName(host.Dispatch().Get(), L"x", 1), S_OK);
  EXPECT_EQ(host.Events().size(), 1u);
  host.Close();
  EXPECT_TRUE(host.Events().empty());
  EXPECT_FALSE(copy.Loaded());
}

TEST(EventsProbeHost, DllStaysLoadedWhileSomeoneElseHoldsItsObject) {
  ProbeCopy copy(L"probe_pinned.dll");
  ASSERT_TRUE(copy.Copied());
  CControlHost host;
  ASSERT_EQ(host.Create(copy.Path()), S_OK) << host.Error();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(host.Object()->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(DIID_DEventProbeEvents, &point), S_OK);
  const ComPtr<IDispatch> dispatch = host.Dispatch();

  host.Close();
  EXPECT_TRUE(copy.Loaded());
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point->EnumConnections(&connections), S_OK);
  CONNECTDATA left = {};
  ULONG fetched = 99;
  EXPECT_EQ(connections->Next(1, &left, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  // The object still works: its code was not pulled from under it.
  EXPECT_EQ(RaiseByName(dispatch.Get(), L"after", 2), S_OK);
}

TEST(EventsProbeHost, HandlerMayCloseTheHostInTheMiddleOfAnEvent) {
  CControlHost host;
  int heard = 0;
  host.SetEventHandler([&](const FiredEvent&, ScopedVariant&) {
    ++heard;
    host.Close();
  });
  ASSERT_EQ(host.Create(EventsProbePath()), S_OK) << host.Error();
  const ComPtr<IDispatch> dispatch = host.Dispatch();
  EXPECT_EQ(RaiseByName(dispatch.Get(), L"closing", 1), S_OK);
  EXPECT_EQ(heard, 1);
  EXPECT_EQ(host.Object(), nullptr);
  EXPECT_EQ(RaiseByName(dispatch.Get(), L"unheard", 2), S_OK);
  EXPECT_EQ(heard, 1);
}

// Registers the probe in the test prefix: its class id and a ProgID, removed at the end. Wine
// reads classes from the machine's hive only, so they go to HKEY_CLASSES_ROOT itself.
class RegisteredProbe : public testing::Test {
 protected:
  static constexpr wchar_t kProgId[] = L"Kovira.ControlHostTestProbe";

  void SetUp() override {
    wchar_t clsid[40] = {};
    ASSERT_GT(::StringFromGUID2(CLSID_EventProbe, clsid, 40), 0);
    clsid_ = clsid;
    const std::wstring server = L"CLSID\\" + clsid_ + L"\\InprocServer32";
    ASSERT_EQ(SetText(server, nullptr, EventsProbePath()), ERROR_SUCCESS);
    ASSERT_EQ(SetText(server, L"ThreadingModel", L"Apartment"), ERROR_SUCCESS);
    ASSERT_EQ(SetText(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid_), ERROR_SUCCESS);
  }
  void TearDown() override {
    (void)::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid_).c_str());
    (void)::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  }

  static LONG SetText(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    ScopedOwner<RegKeyTraits> key;
    const LONG created = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    if (created != ERROR_SUCCESS) return created;
    return ::RegSetValueExW(key.Get(), name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  std::wstring clsid_;
};

TEST_F(RegisteredProbe, CreatesByProgIdAndByClassIdText) {
  for (const std::wstring& name : {std::wstring(kProgId), clsid_}) {
    SCOPED_TRACE(testing::PrintToString(name));
    CControlHost host;
    ASSERT_EQ(host.Create(name), S_OK) << host.Error();
    EXPECT_EQ(host.Clsid(), CLSID_EventProbe);
    // No IProvideClassInfo: the class is found in the library of its IDispatch.
    ASSERT_NE(host.ClassInfo(), nullptr);
    EXPECT_TRUE(host.EventsConnected());
    ASSERT_EQ(RaiseByName(host.Dispatch().Get(), L"registered", 5), S_OK);
    ASSERT_EQ(host.Events().size(), 1u);
    EXPECT_EQ(host.Events()[0].name, L"Raised");
  }
}

TEST(ControlHostCreate, UnknownOrBrokenControlsFailWithAReason) {
  wchar_t system[MAX_PATH] = {};
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  struct Case {
    std::wstring control;
    HRESULT expected;
    const wchar_t* said;
  };
  const Case cases[] = {
      {L"", E_INVALIDARG, L"no control"},
      {L"No.Such.ProgId", CO_E_CLASSSTRING, L"No.Such.ProgId"},
      {L"{not a class id}", CO_E_CLASSSTRING, L"{not a class id}"},
      {L"{00000000-1111-2222-3333-444444444444}", REGDB_E_CLASSNOTREG,
       L"{00000000-1111-2222-3333-444444444444}"},
      {L"C:\\nowhere\\none.dll", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), L"none.dll"},
      {std::wstring(system) + L"\\kernel32.dll", TYPE_E_CANTLOADLIBRARY, L"type library"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.control));
    CControlHost host;
    EXPECT_EQ(host.Create(c.control), c.expected);
    EXPECT_THAT(host.Error(), HasSubstr(c.said));
    EXPECT_EQ(host.Object(), nullptr);
    EXPECT_EQ(host.BindHost(), nullptr);
    EXPECT_EQ(host.Clsid(), CLSID_NULL);
  }
}

}  // namespace
