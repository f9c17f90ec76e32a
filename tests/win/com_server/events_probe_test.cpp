// The events probe DLL: IDispatch answered from its type library, and connection points.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <olectl.h>
#include <wrl/client.h>

#include <initguid.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/com_server/connection_point.h"
#include "common/com_server/variant.h"
#include "common/module_info.h"
#include "common/scoped_owner.h"
#include "probe_events.h"
#include "tests/win/test_files.h"

using Microsoft::WRL::ComPtr;

namespace {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(WINAPI*)();

std::wstring EventsProbePath() { return BesideTestProgram(L"com_server_events_probe.dll"); }

std::wstring TextOf(const VARIANT& value) {
  return value.vt == VT_BSTR && value.bstrVal ? value.bstrVal : L"";
}

// What one sink saw of one event.
struct Heard {
  std::wstring sink;
  DISPID id;
  WORD flags;
  UINT arguments;
  UINT named;
  VARTYPE first;   // rgvarg[0]
  VARTYPE second;  // rgvarg[1]
  std::wstring text;
  LONG number;
  VARTYPE result;  // what the result held on the way in; VT_ILLEGAL: no result given
};

// An event sink that logs every call and counts its references; QueryInterface answers IDispatch
// and the event dispinterface only as told.
class Sink final : public IDispatch {
 public:
  Sink(std::wstring name, std::vector<Heard>& log, bool dispatch = true, bool events = true)
      : name_(std::move(name)), log_(log), dispatch_(dispatch), events_(events) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || (dispatch_ && riid == IID_IDispatch) ||
        (events_ && riid == DIID_DEventProbeEvents)) {
      *object = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --refs_;
    if (refs == 0) delete this;
    return refs;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* out,
                      EXCEPINFO*, UINT*) override {
    Heard heard{name_,
                id,
                flags,
                params->cArgs,
                params->cNamedArgs,
                VT_EMPTY,
                VT_EMPTY,
                L"",
                0,
                out ? out->vt : VARTYPE{VT_ILLEGAL}};
    if (params->cArgs == 1) heard.text = TextOf(params->rgvarg[0]);
    if (params->cArgs == 2) {
      heard.first = params->rgvarg[0].vt;
      heard.second = params->rgvarg[1].vt;
      if (heard.first == VT_I4) heard.number = params->rgvarg[0].lVal;
      heard.text = TextOf(params->rgvarg[1]);
    }
    log_.push_back(heard);
    if (on_event) on_event();
    if (out != nullptr) (void)::VariantCopy(out, &answer);  // a plain value: cannot fail
    return result;
  }

  ULONG Refs() const { return refs_; }

  std::function<void()> on_event;
  HRESULT result = S_OK;
  VARIANT answer = {};  // VT_EMPTY: answers nothing

 private:
  ~Sink() = default;

  std::wstring name_;
  std::vector<Heard>& log_;
  bool dispatch_;
  bool events_;
  ULONG refs_ = 0;  // the first ComPtr takes the first reference
};

ComPtr<Sink> MakeSink(const wchar_t* name, std::vector<Heard>& log, bool dispatch = true,
                      bool events = true) {
  // Not Attach: mingw-w64's ComPtr::Attach adds a reference.
  return ComPtr<Sink>(new Sink(name, log, dispatch, events));
}

std::vector<std::wstring> Names(const std::vector<Heard>& log) {
  std::vector<std::wstring> names;
  for (const Heard& heard : log) names.push_back(heard.sink);
  return names;
}

class ComServerEvents : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_) << "cannot load " << testing::PrintToString(EventsProbePath());
    auto get = reinterpret_cast<GetClassObjectFn>(
        (void*)::GetProcAddress(module_.Get(), "DllGetClassObject"));
    canUnload_ =
        reinterpret_cast<CanUnloadNowFn>((void*)::GetProcAddress(module_.Get(), "DllCanUnloadNow"));
    ASSERT_TRUE(get && canUnload_);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(get(CLSID_EventProbe, IID_PPV_ARGS(&factory)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&probe_)), S_OK);
    ASSERT_EQ(probe_.As(&container_), S_OK);
    ASSERT_EQ(container_->FindConnectionPoint(DIID_DEventProbeEvents, &point_), S_OK);
  }
  void TearDown() override {
    point_.Reset();
    container_.Reset();
    probe_.Reset();
    if (canUnload_) {
      EXPECT_EQ(canUnload_(), S_OK);
    }
  }

  // Calls a member by name, the arguments given in source order.
  HRESULT Call(const wchar_t* name, std::vector<ScopedVariant>& arguments, ScopedVariant& result,
               UINT* argument_error = nullptr) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    const HRESULT found = probe_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found)) return found;
    std::vector<VARIANTARG> packed(arguments.size() + 1);
    for (size_t i = 0; i < arguments.size(); ++i) {
      packed[arguments.size() - 1 - i] = arguments[i].Get();
    }
    DISPPARAMS params = {packed.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    UINT error = 0;
    const HRESULT called = probe_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                                          &params, result.Receive(), nullptr, &error);
    if (argument_error) *argument_error = error;
    return called;
  }

  HRESULT Raise(const wchar_t* text, LONG number) {
    ScopedVariant owned(text);
    return probe_->Raise(owned.Get().bstrVal, number);
  }

  DWORD Advise(Sink* sink) {
    DWORD cookie = 0;
    EXPECT_EQ(point_->Advise(sink, &cookie), S_OK);
    return cookie;
  }

  ScopedModule module_{::LoadLibraryW(EventsProbePath().c_str())};
  CanUnloadNowFn canUnload_ = nullptr;
  ComPtr<IEventProbe> probe_;
  ComPtr<IConnectionPointContainer> container_;
  ComPtr<IConnectionPoint> point_;
};

std::vector<ScopedVariant> Arguments(ScopedVariant first) {
  std::vector<ScopedVariant> all;
  all.push_back(std::move(first));
  return all;
}
std::vector<ScopedVariant> Arguments(ScopedVariant first, ScopedVariant second) {
  std::vector<ScopedVariant> all = Arguments(std::move(first));
  all.push_back(std::move(second));
  return all;
}

TEST_F(ComServerEvents, AnswersIDispatchAsTheDualInterfaceWithItsTypeInfo) {
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(probe_.As(&dispatch), S_OK);
  EXPECT_EQ(static_cast<IDispatch*>(probe_.Get()), dispatch.Get());
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, IID_IEventProbe);
  info->ReleaseTypeAttr(attributes);
  ComPtr<ITypeInfo> none;
  EXPECT_EQ(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none), DISP_E_BADINDEX);
  EXPECT_EQ(none, nullptr);
}

TEST_F(ComServerEvents, NamesResolveToTheLibraryDispids) {
  DISPID id = 0;
  LPOLESTR describe[] = {const_cast<LPOLESTR>(L"Describe")};
  EXPECT_EQ(probe_->GetIDsOfNames(IID_NULL, describe, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 1);
  LPOLESTR raise[] = {const_cast<LPOLESTR>(L"RAISE")};  // names are case-insensitive
  EXPECT_EQ(probe_->GetIDsOfNames(IID_NULL, raise, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 2);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Explode")};
  EXPECT_EQ(probe_->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  EXPECT_EQ(probe_->GetIDsOfNames(IID_IEventProbe, describe, 1, LOCALE_USER_DEFAULT, &id),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(ComServerEvents, OptionalArgumentTakesItsDefaultWhenLeftOut) {
  ScopedVariant result;
  auto name_only = Arguments(ScopedVariant(L"widget"));
  ASSERT_EQ(Call(L"Describe", name_only, result), S_OK);
  EXPECT_EQ(TextOf(result.Get()), L"widget x7");
  auto both = Arguments(ScopedVariant(L"widget"), ScopedVariant(LONG{3}));
  ASSERT_EQ(Call(L"Describe", both, result), S_OK);
  EXPECT_EQ(TextOf(result.Get()), L"widget x3");
}

TEST_F(ComServerEvents, ArgumentsAreCoercedOrRejectedByTheTypeLibrary) {
  ScopedVariant result;
  auto numeric_text = Arguments(ScopedVariant(L"widget"), ScopedVariant(L"12"));
  ASSERT_EQ(Call(L"Describe", numeric_text, result), S_OK);
  EXPECT_EQ(TextOf(result.Get()), L"widget x12");

  auto words = Arguments(ScopedVariant(L"widget"), ScopedVariant(L"twelve"));
  UINT argument_error = 99;
  EXPECT_EQ(Call(L"Describe", words, result, &argument_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argument_error, 0u);  // the count, last in source order, is rgvarg[0]
  EXPECT_EQ(result.Get().vt, VT_EMPTY);
}

TEST_F(ComServerEvents, WrongArgumentCountsAndMembersFail) {
  ScopedVariant result;
  std::vector<ScopedVariant> none;
  // Windows and Wine name a missing required argument differently; either way it is refused.
  EXPECT_THAT(Call(L"Describe", none, result),
              testing::AnyOf(DISP_E_PARAMNOTOPTIONAL, DISP_E_BADPARAMCOUNT));
  auto three = Arguments(ScopedVariant(L"a"), ScopedVariant(LONG{1}));
  three.emplace_back(LONG{2});
  EXPECT_EQ(Call(L"Describe", three, result), DISP_E_BADPARAMCOUNT);
  DISPPARAMS empty = {};
  EXPECT_EQ(probe_->Invoke(77, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &empty,
                           result.Receive(), nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(ComServerEvents, ContainerHasOnePointForItsEventInterface) {
  IID iid = {};
  EXPECT_EQ(point_->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, DIID_DEventProbeEvents);
  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(point_->GetConnectionPointContainer(&back), S_OK);
  ComPtr<IUnknown> back_identity, identity;
  ASSERT_EQ(back.As(&back_identity), S_OK);
  ASSERT_EQ(probe_.As(&identity), S_OK);
  EXPECT_EQ(back_identity, identity);

  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(container_->FindConnectionPoint(IID_IPropertyNotifySink, &other),
            CONNECT_E_NOCONNECTION);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(container_->FindConnectionPoint(IID_IDispatch, &other), CONNECT_E_NOCONNECTION);

  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container_->EnumConnectionPoints(&points), S_OK);
  IConnectionPoint* listed[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(points->Next(2, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 1u);
  EXPECT_EQ(listed[0], point_.Get());
  listed[0]->Release();
  EXPECT_EQ(points->Reset(), S_OK);
  EXPECT_EQ(points->Skip(2), S_FALSE);
}

TEST_F(ComServerEvents, EventReachesEverySinkInConnectionOrderWithReversedArguments) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log), c = MakeSink(L"c", log);
  Advise(a.Get());
  Advise(b.Get());
  Advise(c.Get());
  ASSERT_EQ(Raise(L"hello", 42), S_OK);
  ASSERT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  for (const Heard& heard : log) {
    EXPECT_EQ(heard.id, 1);
    EXPECT_EQ(heard.flags, DISPATCH_METHOD);
    EXPECT_EQ(heard.arguments, 2u);
    EXPECT_EQ(heard.named, 0u);
    EXPECT_EQ(heard.first, VT_I4);  // the last argument comes first
    EXPECT_EQ(heard.second, VT_BSTR);
    EXPECT_EQ(heard.number, 42);
    EXPECT_EQ(heard.text, L"hello");
  }
}

TEST_F(ComServerEvents, CookiesStartAtOneAndAreNeverReused) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log), c = MakeSink(L"c", log);
  EXPECT_EQ(Advise(a.Get()), 1u);
  EXPECT_EQ(Advise(b.Get()), 2u);
  EXPECT_EQ(point_->Unadvise(2), S_OK);
  EXPECT_EQ(Advise(c.Get()), 3u);
  EXPECT_EQ(point_->Unadvise(2), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point_->Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point_->Unadvise(99), CONNECT_E_NOCONNECTION);

  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(point_->EnumConnections(&connections), S_OK);
  CONNECTDATA listed[3] = {};
  ULONG fetched = 0;
  EXPECT_EQ(connections->Next(3, listed, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(listed[0].dwCookie, 1u);
  EXPECT_EQ(listed[1].dwCookie, 3u);
  EXPECT_EQ(listed[0].pUnk, static_cast<IUnknown*>(a.Get()));
  EXPECT_EQ(listed[1].pUnk, static_cast<IUnknown*>(c.Get()));
  for (ULONG i = 0; i < fetched; ++i) listed[i].pUnk->Release();
}

TEST_F(ComServerEvents, AdviseTakesTheEventInterfaceOrIDispatchOnly) {
  std::vector<Heard> log;
  auto events_only = MakeSink(L"events", log, /*dispatch=*/false, /*events=*/true);
  auto dispatch_only = MakeSink(L"dispatch", log, /*dispatch=*/true, /*events=*/false);
  auto neither = MakeSink(L"neither", log, false, false);
  Advise(events_only.Get());
  Advise(dispatch_only.Get());
  DWORD cookie = 77;
  EXPECT_EQ(point_->Advise(neither.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(neither->Refs(), 1u);
  EXPECT_EQ(point_->Advise(nullptr, &cookie), E_POINTER);
  ASSERT_EQ(Raise(L"x", 1), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"events", L"dispatch"}));
}

TEST_F(ComServerEvents, SinkUnadvisingItselfMidEventDoesNotStopTheOthers) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log), c = MakeSink(L"c", log);
  Advise(a.Get());
  const DWORD b_cookie = Advise(b.Get());
  Advise(c.Get());
  b->on_event = [&] { EXPECT_EQ(point_->Unadvise(b_cookie), S_OK); };
  ASSERT_EQ(Raise(L"one", 1), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  log.clear();
  ASSERT_EQ(Raise(L"two", 2), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"c"}));
}

TEST_F(ComServerEvents, SinkUnadvisingAnotherMidEventTakesEffectFromTheNextEvent) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log), c = MakeSink(L"c", log);
  Advise(a.Get());
  Advise(b.Get());
  const DWORD c_cookie = Advise(c.Get());
  a->on_event = [&] { (void)point_->Unadvise(c_cookie); };
  const ULONG c_before = c->Refs();
  ASSERT_EQ(Raise(L"one", 1), S_OK);
  // The round in progress still holds c, so it is neither skipped nor released early.
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b", L"c"}));
  EXPECT_EQ(c->Refs(), c_before - 1);
  log.clear();
  ASSERT_EQ(Raise(L"two", 2), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST_F(ComServerEvents, FailingSinkDoesNotStopTheOthers) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log), c = MakeSink(L"c", log);
  b->result = E_FAIL;
  a->result = DISP_E_MEMBERNOTFOUND;
  Advise(a.Get());
  Advise(b.Get());
  Advise(c.Get());
  EXPECT_EQ(Raise(L"x", 5), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b", L"c"}));
}

TEST_F(ComServerEvents, SinkReferencesReturnToWhereTheyStarted) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log);
  const ULONG a_before = a->Refs(), b_before = b->Refs();
  const DWORD a_cookie = Advise(a.Get());
  Advise(b.Get());
  EXPECT_GT(a->Refs(), a_before);
  ASSERT_EQ(Raise(L"x", 1), S_OK);
  {
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point_->EnumConnections(&connections), S_OK);
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(&clone), S_OK);
  }
  EXPECT_EQ(point_->Unadvise(a_cookie), S_OK);
  EXPECT_EQ(a->Refs(), a_before);
  // A sink still connected is let go with the source.
  point_.Reset();
  container_.Reset();
  probe_.Reset();
  EXPECT_EQ(b->Refs(), b_before);
}

TEST_F(ComServerEvents, HandlerDroppingTheLastSourceReferenceLetsTheRoundFinish) {
  std::vector<Heard> log;
  auto a = MakeSink(L"a", log), b = MakeSink(L"b", log);
  Advise(a.Get());
  Advise(b.Get());
  point_.Reset();
  container_.Reset();
  IEventProbe* source = probe_.Detach();
  a->on_event = [&] { source->Release(); };
  ScopedVariant text(L"last");
  EXPECT_EQ(source->Raise(text.Get().bstrVal, 9), S_OK);
  EXPECT_EQ(Names(log), (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(a->Refs(), 1u);
  EXPECT_EQ(b->Refs(), 1u);
}

VARIANT Answer(VARTYPE type, LONG value = 0) {
  VARIANT answer = {};
  answer.vt = type;
  if (type == VT_BOOL) answer.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  if (type == VT_I4) answer.lVal = value;
  return answer;
}

TEST(EventAnswer, OnlyABoolFalseRefuses) {
  ScopedVariant no_text(L"false");
  VARIANT_BOOL no = VARIANT_FALSE;
  VARIANT by_reference = {};
  by_reference.vt = VT_BOOL | VT_BYREF;
  by_reference.pboolVal = &no;
  VARIANT odd_true = Answer(VT_BOOL);
  odd_true.boolVal = 1;  // not VARIANT_TRUE, yet not VARIANT_FALSE either
  const struct {
    VARIANT answer;
    bool allows;
  } cases[] = {
      {Answer(VT_BOOL, 0), false}, {Answer(VT_BOOL, 1), true}, {odd_true, true},
      {Answer(VT_EMPTY), true},    {Answer(VT_I4, 0), true},   {Answer(VT_NULL), true},
      {no_text.Get(), true},       {by_reference, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EventAllows(c.answer), c.allows) << "type " << c.answer.vt;
  }
}

TEST_F(ComServerEvents, AskingTakesTheLastSinksAnswerAndEverySinkStartsEmpty) {
  struct Reply {
    VARIANT answer;
    HRESULT result;
  };
  const VARIANT yes = Answer(VT_BOOL, 1), no = Answer(VT_BOOL, 0), nothing = Answer(VT_EMPTY);
  const struct {
    const char* what;
    std::vector<Reply> replies;
    VARIANT_BOOL allowed;
  } cases[] = {
      {"no sinks", {}, VARIANT_TRUE},
      {"yes, then no", {{yes, S_OK}, {no, S_OK}}, VARIANT_FALSE},
      {"no, then yes", {{no, S_OK}, {yes, S_OK}}, VARIANT_TRUE},
      {"no, then a number", {{no, S_OK}, {Answer(VT_I4, 0), S_OK}}, VARIANT_TRUE},
      {"no, then nothing", {{no, S_OK}, {nothing, S_OK}}, VARIANT_TRUE},
      {"no, then a failing no", {{no, S_OK}, {no, E_FAIL}}, VARIANT_TRUE},
      {"a single no", {{no, S_OK}}, VARIANT_FALSE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Heard> log;
    std::vector<ComPtr<Sink>> sinks;
    std::vector<DWORD> cookies;
    std::vector<std::wstring> expected_names;
    for (const Reply& reply : c.replies) {
      expected_names.push_back(std::to_wstring(sinks.size()));
      sinks.push_back(MakeSink(expected_names.back().c_str(), log));
      sinks.back()->answer = reply.answer;
      sinks.back()->result = reply.result;
      cookies.push_back(Advise(sinks.back().Get()));
    }
    ScopedVariant question(L"may I?");
    VARIANT_BOOL allowed = static_cast<VARIANT_BOOL>(0xbeef);
    ASSERT_EQ(probe_->Ask(question.Get().bstrVal, &allowed), S_OK);
    EXPECT_EQ(allowed, c.allowed);
    EXPECT_EQ(Names(log), expected_names);
    for (const Heard& heard : log) {
      EXPECT_EQ(heard.id, 2);
      EXPECT_EQ(heard.arguments, 1u);
      EXPECT_EQ(heard.text, L"may I?");
      EXPECT_EQ(heard.result, VT_EMPTY) << "an earlier answer reached sink " << heard.sink;
    }
    for (DWORD cookie : cookies) EXPECT_EQ(point_->Unadvise(cookie), S_OK);
  }
}

}  // namespace
