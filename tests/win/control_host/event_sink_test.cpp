// The event sink on its own: what it answers, what it hands on, what it refuses.
#include "tools/control_host/event_sink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/com_server/variant.h"
#include "common/module_info.h"
#include "probe_events.h"
#include "tests/win/test_files.h"

using Microsoft::WRL::ComPtr;

namespace {

class EventSink : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring probe = BesideTestProgram(L"com_server_events_probe.dll");
    ASSERT_EQ(::LoadTypeLibEx(probe.c_str(), REGKIND_NONE, &library_), S_OK);
    ASSERT_EQ(library_->GetTypeInfoOfGuid(DIID_DEventProbeEvents, &eventsInfo_), S_OK);
    ASSERT_EQ(library_->GetTypeInfoOfGuid(CLSID_EventProbe, &classInfo_), S_OK);
    sink_ = MakeComObject<CEventSink>(DIID_DEventProbeEvents, eventsInfo_,
                                      [this](const FiredEvent& event, ScopedVariant& answer) {
                                        names_.push_back(event.name);
                                        for (const ScopedVariant& argument : event.arguments) {
                                          types_.push_back(argument.Get().vt);
                                        }
                                        answered_.push_back(answer.Get().vt);
                                        (void)answer.CopyFrom(answer_.Get());
                                      });
  }

  HRESULT Invoke(DISPID id, std::vector<VARIANTARG> packed, UINT named = 0,
                 VARIANT* result = nullptr) {
    DISPID named_id = DISPID_PROPERTYPUT;
    DISPPARAMS params = {packed.data(), named ? &named_id : nullptr,
                         static_cast<UINT>(packed.size()), named};
    return sink_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                         nullptr, nullptr);
  }

  ComPtr<ITypeLib> library_;
  ComPtr<ITypeInfo> eventsInfo_;
  ComPtr<ITypeInfo> classInfo_;
  ComPtr<CEventSink> sink_;
  std::vector<std::wstring> names_;
  std::vector<VARTYPE> types_;
  std::vector<VARTYPE> answered_;  // what each handler call found in its answer
  ScopedVariant answer_;           // what the handler answers
};

// A VARIANT that owns nothing, as a result holds before a call fills it.
VARIANT Marked() {
  VARIANT marked = {};
  marked.vt = VT_I4;
  marked.lVal = static_cast<LONG>(0xdeadbeef);
  return marked;
}

TEST_F(EventSink, AnswersItsDispinterfaceAsIDispatch) {
  ComPtr<IDispatch> as_events;
  ASSERT_EQ(sink_->QueryInterface(DIID_DEventProbeEvents, &as_events), S_OK);
  EXPECT_EQ(as_events.Get(), static_cast<IDispatch*>(sink_.Get()));
  void* other = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(sink_->QueryInterface(IID_IEventProbe, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(sink_->QueryInterface(DIID_DEventProbeEvents, nullptr), E_POINTER);

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Raised")};
  DISPID id = 0;
  EXPECT_EQ(sink_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 1);
}

TEST_F(EventSink, HandsOnEventsItsInterfaceDescribesWithArgumentsAsValues) {
  LONG number = 5;
  ScopedVariant text(L"by value");
  VARIANTARG by_reference = {};
  by_reference.vt = VT_I4 | VT_BYREF;
  by_reference.plVal = &number;
  ASSERT_EQ(Invoke(1, {by_reference, text.Get()}), S_OK);
  EXPECT_THAT(names_, testing::ElementsAre(L"Raised"));
  EXPECT_THAT(types_, testing::ElementsAre(VT_BSTR, VT_I4));  // source order, dereferenced

  EXPECT_EQ(Invoke(99, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Invoke(1, {text.Get()}, 1), DISP_E_NONAMEDARGS);
  EXPECT_EQ(names_.size(), 1u);  // neither reached the handler
}

TEST_F(EventSink, HandlersAnswerIsTheEventsResult) {
  ScopedVariant question(L"may I?"), text(L"maybe");
  VARIANT no = {};
  no.vt = VT_BOOL;
  no.boolVal = VARIANT_FALSE;
  const VARIANT answers[] = {no, text.Get(), VARIANT{}};
  for (const VARIANT& given : answers) {
    ASSERT_EQ(answer_.CopyFrom(given), S_OK);
    ScopedVariant result;
    *result.Pointer() = Marked();  // owns nothing: safe to overwrite
    ASSERT_EQ(Invoke(2, {question.Get()}, 0, result.Pointer()), S_OK);
    EXPECT_EQ(result.Get().vt, given.vt);
    EXPECT_EQ(::VarCmp(result.Pointer(), answer_.Pointer(), LOCALE_USER_DEFAULT, 0), VARCMP_EQ)
        << "type " << given.vt;
  }
  EXPECT_THAT(answered_, testing::ElementsAre(VT_EMPTY, VT_EMPTY, VT_EMPTY));

  // A source that wants no answer still reaches the handler; one the sink turns away gets its
  // result back untouched.
  ASSERT_EQ(Invoke(2, {question.Get()}), S_OK);
  EXPECT_EQ(answered_.size(), 4u);
  VARIANT result = Marked();
  EXPECT_EQ(Invoke(99, {}, 0, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, static_cast<LONG>(0xdeadbeef));
}

TEST_F(EventSink, FindsTheDefaultSourceOnlyWhereATypeLibrarySaysSo) {
  IID events = IID_NULL;
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(CEventSink::FindDefaultSource(sink_.Get(), classInfo_.Get(), &events, &info), S_OK);
  EXPECT_EQ(events, DIID_DEventProbeEvents);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
  info->ReleaseTypeAttr(attributes);

  // No class information at all: nothing found, nothing written.
  events = IID_IUnknown;
  ITypeInfo* untouched = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
  EXPECT_EQ(CEventSink::FindDefaultSource(sink_.Get(), nullptr, &events, &untouched),
            E_NOINTERFACE);
  EXPECT_EQ(events, IID_IUnknown);
  EXPECT_EQ(untouched, reinterpret_cast<ITypeInfo*>(0xdeadbeef));
  // The events dispinterface is no coclass.
  EXPECT_EQ(CEventSink::FindDefaultSource(sink_.Get(), eventsInfo_.Get(), &events, &untouched),
            E_NOINTERFACE);
}

TEST_F(EventSink, ConnectsOnlyToAnObjectWithThatConnectionPoint) {
  // The sink itself has no connection points.
  EXPECT_EQ(sink_->Connect(sink_.Get()), E_NOINTERFACE);
  EXPECT_FALSE(sink_->Connected());
  EXPECT_EQ(sink_->Connect(nullptr), E_POINTER);
  sink_->Disconnect();  // not connected: nothing to undo
  EXPECT_FALSE(sink_->Connected());
}

}  // namespace
