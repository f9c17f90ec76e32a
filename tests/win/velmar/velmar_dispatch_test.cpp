// The control as page script sees it: members by name, property values, events and the
// interfaces it answers. The control runs in the test process with scripted update steps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <objsafe.h>

#include "common/com_object.h"
#include "common/com_server/com_module.h"
#include "tests/win/dispatch_client.h"
#include "tests/win/velmar/scripted_update_steps.h"
#include "velmar/velmar.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

// Korean texts of the control's string table, as UTF-16.
const wchar_t kCancelledByUser[] =
    L"\uC0AC\uC6A9\uC790\uC5D0 \uC758\uD574 \uCDE8\uC18C \uB418\uC5C8\uC2B5\uB2C8\uB2E4.";

class VelmarDispatch : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));  // the type library and strings are ours
    control_ = MakeComObject<CVelmar>(steps_);
    ASSERT_EQ(control_.As(&dispatch_), S_OK);
  }

  ScriptedUpdateSteps steps_;
  ComPtr<IVelmar> control_;
  ComPtr<IDispatch> dispatch_;
};

TEST_F(VelmarDispatch, MembersHaveTheirPublishedIds) {
  const wchar_t* names[] = {L"Execute",           L"InstallerInfoXML", L"ShowWaitDialog",
                            L"DownloadTitleText", L"DownloadFile",     L"Update",
                            L"TrustZone",         L"XMLUrl",           L"SaveXML"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(DispIdOf(dispatch_.Get(), names[i]), i + 1) << names[i];
  EXPECT_EQ(DispIdOf(dispatch_.Get(), L"updATE"), 6);  // names are case-blind, as in script
  EXPECT_EQ(DispIdOf(dispatch_.Get(), L"Install"), DISPID_UNKNOWN);
}

TEST_F(VelmarDispatch, FreshControlHasItsDefaults) {
  EXPECT_EQ(GetByName(dispatch_.Get(), L"ShowWaitDialog").Get().boolVal, VARIANT_TRUE);
  EXPECT_EQ(GetByName(dispatch_.Get(), L"SaveXML").Get().boolVal, VARIANT_FALSE);
  EXPECT_EQ(TextOf(GetByName(dispatch_.Get(), L"DownloadTitleText").Get()), L"Downloading ...");
  for (const wchar_t* name : {L"InstallerInfoXML", L"TrustZone", L"XMLUrl"}) {
    const ScopedVariant value = GetByName(dispatch_.Get(), name);
    ASSERT_EQ(value.Get().vt, VT_BSTR) << name;
    ASSERT_NE(value.Get().bstrVal, nullptr) << name << ": an unset text is empty, not null";
    EXPECT_EQ(::SysStringLen(value.Get().bstrVal), 0u) << name;
  }
}

TEST_F(VelmarDispatch, TextPropertiesKeepCopiesOfWhatWasPut) {
  for (const wchar_t* name : {L"InstallerInfoXML", L"DownloadTitleText", L"TrustZone", L"XMLUrl"}) {
    ScopedVariant text;
    // An embedded zero must survive: the accessors copy by length.
    text.Pointer()->vt = VT_BSTR;
    text.Pointer()->bstrVal = ::SysAllocStringLen(L"a\0b", 3);
    ASSERT_EQ(PutByName(dispatch_.Get(), name, std::move(text)), S_OK) << name;
    const ScopedVariant back = GetByName(dispatch_.Get(), name);
    const ScopedVariant again = GetByName(dispatch_.Get(), name);
    EXPECT_EQ(TextOf(back.Get()), std::wstring(L"a\0b", 3)) << name;
    EXPECT_NE(back.Get().bstrVal, again.Get().bstrVal) << name << ": each get hands out a copy";
    ScopedVariant null_text;
    null_text.Pointer()->vt = VT_BSTR;
    null_text.Pointer()->bstrVal = nullptr;
    ASSERT_EQ(PutByName(dispatch_.Get(), name, std::move(null_text)), S_OK);
    EXPECT_EQ(TextOf(GetByName(dispatch_.Get(), name).Get()), L"");
  }
  EXPECT_TRUE(steps_.calls.empty()) << "no put runs anything";
}

TEST_F(VelmarDispatch, BooleanPropertiesFollowTheLowWordOfTheirArgument) {
  for (const wchar_t* name : {L"ShowWaitDialog", L"SaveXML"}) {
    ASSERT_EQ(PutByName(dispatch_.Get(), name, ScopedVariant(0L)), S_OK);
    EXPECT_EQ(GetByName(dispatch_.Get(), name).Get().boolVal, VARIANT_FALSE) << name;
    ASSERT_EQ(PutByName(dispatch_.Get(), name, ScopedVariant(-1L)), S_OK);
    EXPECT_EQ(GetByName(dispatch_.Get(), name).Get().boolVal, VARIANT_TRUE) << name;
    ASSERT_EQ(PutByName(dispatch_.Get(), name, BoolArgument(false)), S_OK);
    ASSERT_EQ(PutByName(dispatch_.Get(), name, ScopedVariant(1L)), S_OK);
    EXPECT_EQ(GetByName(dispatch_.Get(), name).Get().boolVal, VARIANT_TRUE) << name;
    // Through dispatch the number is first coerced to a boolean: any non-zero value is TRUE.
    ASSERT_EQ(PutByName(dispatch_.Get(), name, BoolArgument(false)), S_OK);
    ASSERT_EQ(PutByName(dispatch_.Get(), name, ScopedVariant(0x10000L)), S_OK);
    EXPECT_EQ(GetByName(dispatch_.Get(), name).Get().boolVal, VARIANT_TRUE) << name;
    EXPECT_EQ(PutByName(dispatch_.Get(), name, ScopedVariant(L"maybe")), DISP_E_TYPEMISMATCH);
  }
  // A vtable caller passes a 32-bit slot: only its low word is the VARIANT_BOOL.
  using PutSlot = HRESULT(STDMETHODCALLTYPE*)(IVelmar*, LONG);
  IVelmar* velmar = control_.Get();
  void** vtable = *reinterpret_cast<void***>(velmar);
  const auto put_show = reinterpret_cast<PutSlot>(vtable[7 + 4]);  // after IDispatch: the 5th
  const auto put_save = reinterpret_cast<PutSlot>(vtable[7 + 14]);
  VARIANT_BOOL value = 0;
  ASSERT_EQ(put_show(velmar, 0x10000), S_OK);
  ASSERT_EQ(velmar->get_ShowWaitDialog(&value), S_OK);
  EXPECT_EQ(value, VARIANT_FALSE);
  ASSERT_EQ(put_show(velmar, 0x10001), S_OK);
  ASSERT_EQ(velmar->get_ShowWaitDialog(&value), S_OK);
  EXPECT_EQ(value, VARIANT_TRUE);
  ASSERT_EQ(put_save(velmar, 0x7FFF0000), S_OK);
  ASSERT_EQ(velmar->get_SaveXML(&value), S_OK);
  EXPECT_EQ(value, VARIANT_FALSE);
}

TEST_F(VelmarDispatch, ExecuteTakesAnyArgumentsAndDoesNothing) {
  std::vector<HeardEvent> log;
  RecordingSink sink(L"page", DIID__IVelmarEvents, log);
  ASSERT_EQ(sink.Connect(control_.Get()), S_OK);
  auto one = Arguments(ScopedVariant(L"C:\\x.exe"));
  EXPECT_EQ(InvokeByName(dispatch_.Get(), L"Execute", DISPATCH_METHOD, one), S_OK);
  auto two = Arguments(ScopedVariant(L"C:\\x.exe"), ScopedVariant(L"/q"));
  EXPECT_EQ(InvokeByName(dispatch_.Get(), L"Execute", DISPATCH_METHOD, two), S_OK);
  auto number = Arguments(ScopedVariant(12L));  // coerced to text
  EXPECT_EQ(InvokeByName(dispatch_.Get(), L"Execute", DISPATCH_METHOD, number), S_OK);
  auto none = Arguments();
  EXPECT_EQ(InvokeByName(dispatch_.Get(), L"Execute", DISPATCH_METHOD, none), DISP_E_BADPARAMCOUNT);
  auto three = Arguments(ScopedVariant(L"a"), ScopedVariant(L"b"), ScopedVariant(L"c"));
  EXPECT_EQ(InvokeByName(dispatch_.Get(), L"Execute", DISPATCH_METHOD, three),
            DISP_E_BADPARAMCOUNT);
  // A script engine adds its `this` as a named argument: not one of the member's.
  VARIANTARG passed[2];
  ::VariantInit(&passed[0]);
  ::VariantInit(&passed[1]);
  passed[0].vt = VT_DISPATCH;
  passed[0].pdispVal = dispatch_.Get();
  passed[1].vt = VT_BSTR;
  passed[1].bstrVal = ::SysAllocString(L"C:\\x.exe");
  DISPID this_id = DISPID_THIS;
  DISPPARAMS with_this = {passed, &this_id, 2, 1};
  EXPECT_EQ(
      dispatch_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &with_this, nullptr, nullptr, nullptr),
      S_OK);
  ::SysFreeString(passed[1].bstrVal);
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(steps_.calls.empty());
  EXPECT_EQ(TextOf(GetByName(dispatch_.Get(), L"XMLUrl").Get()), L"");
  EXPECT_EQ(sink.Disconnect(), S_OK);
}

// Each hand-off result and the event it becomes, heard by two sinks in connection order.
TEST_F(VelmarDispatch, UpdateResultsBecomeEvents) {
  std::vector<HeardEvent> log;
  RecordingSink first(L"first", DIID__IVelmarEvents, log);
  RecordingSink second(L"second", DIID__IVelmarEvents, log);
  ASSERT_EQ(first.Connect(control_.Get()), S_OK);
  ASSERT_EQ(second.Connect(control_.Get()), S_OK);
  first.FailWith(E_FAIL);  // a sink's failure does not keep the event from the next

  struct Case {
    LONG code;
    std::wstring installer_text;
    DISPID event;  // 0: none
    std::wstring message;
  };
  const Case cases[] = {
      {0, L"", 1, L""},
      {-2, L"", 1, L""},
      {-1, L"", 0, L""},
      {1002, L"ignored", 2, kCancelledByUser},
      {2500, L"installer says no", 2, L"installer says no"},
      {2000, L"", 2, L""},
      {1010, L"ignored", 2, L""},  // no such string
      {-7, L"ignored", 2, L""},
      {-0x10000 + 1002, L"ignored", 2, L""},  // not a string id, whatever its low word
  };
  for (const Case& c : cases) {
    log.clear();
    steps_.result = {c.code, c.installer_text};
    auto none = Arguments();
    ASSERT_EQ(InvokeByName(dispatch_.Get(), L"Update", DISPATCH_METHOD, none), S_OK);
    if (c.event == 0) {
      EXPECT_TRUE(log.empty()) << c.code;
      continue;
    }
    ASSERT_EQ(log.size(), 2u) << c.code;
    EXPECT_EQ(log[0].sink, L"first");
    EXPECT_EQ(log[1].sink, L"second");
    for (const HeardEvent& heard : log) {
      EXPECT_EQ(heard.id, c.event) << c.code;
      EXPECT_EQ(heard.flags, DISPATCH_METHOD);
      if (c.event == 1) {
        EXPECT_TRUE(heard.types.empty());
      } else {
        EXPECT_THAT(heard.types, ElementsAre(VT_I4, VT_BSTR)) << c.code;
        EXPECT_EQ(heard.numbers[0], c.code);
        EXPECT_EQ(heard.texts[1], c.message) << c.code;
      }
    }
  }
}

TEST_F(VelmarDispatch, UpdateRunsItsStepsInOrderWithTheControlsSettings) {
  ASSERT_EQ(PutByName(dispatch_.Get(), L"TrustZone", ScopedVariant(L"a.example;b.example")), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"InstallerInfoXML", ScopedVariant(L"<info/>")), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"ShowWaitDialog", BoolArgument(false)), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"SaveXML", BoolArgument(true)), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"XMLUrl", ScopedVariant(L"ignored.xml")), S_OK);
  steps_.result = {0, {}};
  auto url = Arguments(ScopedVariant(L"http://server/update.xml"));
  ASSERT_EQ(InvokeByName(dispatch_.Get(), L"Update", DISPATCH_METHOD, url), S_OK);
  auto none = Arguments();
  ASSERT_EQ(InvokeByName(dispatch_.Get(), L"Update", DISPATCH_METHOD, none), S_OK);
  EXPECT_THAT(steps_.calls, ElementsAre(L"sites:a.example;b.example", L"handoff",
                                        L"sites:a.example;b.example", L"handoff"));
  ASSERT_EQ(steps_.requests.size(), 2u);
  const HandOffRequest& request = steps_.requests[0];
  // Without a site there is no bind host: URLs stay as given and the page has no base.
  EXPECT_EQ(request.descriptorUrl, L"http://server/update.xml");
  EXPECT_EQ(request.pageBaseUrl, L"");
  EXPECT_EQ(request.installerInfoXml, L"<info/>");
  EXPECT_FALSE(request.showWaitDialog);
  EXPECT_TRUE(request.saveXml);
  // Update's own argument, never XMLUrl: the default is empty.
  EXPECT_EQ(steps_.requests[1].descriptorUrl, L"");
}

TEST_F(VelmarDispatch, AnswersItsInterfacesOnly) {
  const IID answered[] = {IID_IVelmar,           IID_IDispatch,
                          IID_ISupportErrorInfo, IID_IConnectionPointContainer,
                          IID_IObjectWithSite,   IID_IOleControl,
                          IID_IOleObject,        IID_IOleInPlaceObject,
                          IID_IObjectSafety,     IID_IPersistPropertyBag,
                          IID_IProvideClassInfo, IID_IProvideClassInfo2,
                          IID_IQuickActivate,    IID_IViewObjectEx,
                          IID_IViewObject2,      IID_IViewObject};
  ComPtr<IUnknown> identity;
  ASSERT_EQ(control_.As(&identity), S_OK);
  for (const IID& iid : answered) {
    ComPtr<IUnknown> found;
    ASSERT_EQ(control_->QueryInterface(iid, reinterpret_cast<void**>(found.GetAddressOf())), S_OK);
    ComPtr<IUnknown> back;
    ASSERT_EQ(found.As(&back), S_OK);
    EXPECT_EQ(back.Get(), identity.Get()) << "one identity for every interface";
  }
  const IID refused[] = {IID_IOleWindow,
                         IID_IOleInPlaceObjectWindowless,
                         IID_IOleInPlaceActiveObject,
                         IID_IPersistStreamInit,
                         IID_IPersistStorage,
                         IID_IPersist,
                         IID_IDataObject,
                         IID_ISpecifyPropertyPages};
  for (const IID& iid : refused) {
    void* found = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(control_->QueryInterface(iid, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
  }
}

TEST_F(VelmarDispatch, ErrorInfoSafetyAndSiteAnswers) {
  ComPtr<ISupportErrorInfo> error_info;
  ASSERT_EQ(control_.As(&error_info), S_OK);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IVelmar), S_OK);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  EXPECT_EQ(error_info->InterfaceSupportsErrorInfo(IID_IOleObject), S_FALSE);

  ComPtr<IObjectSafety> safety;
  ASSERT_EQ(control_.As(&safety), S_OK);
  DWORD supported = 0xdeadbeef;
  DWORD enabled = 0xdeadbeef;
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, 3u);
  EXPECT_EQ(enabled, 0u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 3, 3), S_OK);
  EXPECT_EQ(
      safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                        INTERFACESAFE_FOR_UNTRUSTED_DATA),
      S_OK);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IVelmar, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, 7, 7), E_FAIL);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACE_USES_DISPEX, 0), E_FAIL);
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistStreamInit, &supported, &enabled),
            E_NOINTERFACE);
  EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDataObject, 1, 1), E_NOINTERFACE);
  ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, 3u) << "refused requests change nothing";

  ComPtr<IObjectWithSite> with_site;
  ASSERT_EQ(control_.As(&with_site), S_OK);
  void* site = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(with_site->GetSite(IID_IUnknown, &site), E_FAIL);
  EXPECT_EQ(site, nullptr);
  std::vector<HeardEvent> unused;
  RecordingSink some_site(L"site", IID_IUnknown, unused);
  ASSERT_EQ(with_site->SetSite(&some_site), S_OK);
  EXPECT_EQ(some_site.References(), 1u) << "the site is kept";
  ComPtr<IUnknown> back;
  ASSERT_EQ(with_site->GetSite(IID_PPV_ARGS(&back)), S_OK);
  EXPECT_EQ(back.Get(), static_cast<IUnknown*>(&some_site));
  back.Reset();
  ASSERT_EQ(with_site->SetSite(nullptr), S_OK);
  EXPECT_EQ(some_site.References(), 0u);
}

TEST_F(VelmarDispatch, ClassInfoNamesTheClassAndItsEvents) {
  ComPtr<IProvideClassInfo2> class_info;
  ASSERT_EQ(control_.As(&class_info), S_OK);
  GUID events = GUID_NULL;
  ASSERT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
  EXPECT_EQ(events, DIID__IVelmarEvents);
  EXPECT_EQ(class_info->GetGUID(2, &events), E_INVALIDARG);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(class_info->GetClassInfo(&coclass), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, CLSID_Velmar);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  coclass->ReleaseTypeAttr(attributes);
}

}  // namespace
