// The control's site: interfaces, ambient properties, services, window context.
#include "common/container/control_site.h"

#include <gtest/gtest.h>

#include <olectl.h>
#include <urlmon.h>

#include <string>

#include "common/com_server/variant.h"
#include "common/scoped_owner.h"
#include "tests/win/test_files.h"
#include "tools/control_host/bind_host.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IUnknown> Identity(IUnknown* object) {
  ComPtr<IUnknown> identity;
  EXPECT_EQ(object->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
  return identity;
}

class ControlSite : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CBindHost::Create(L"http://server/app/page.html", bindHost_), S_OK);
    site_ = MakeComObject<CControlSite>(L"grid", bindHost_, bindHost_->PageMoniker());
  }

  // An ambient read as a control reads one: DISPATCH_PROPERTYGET, no arguments.
  HRESULT Ambient(DISPID id, ScopedVariant& value, WORD flags = DISPATCH_PROPERTYGET) {
    DISPPARAMS none = {};
    return site_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, value.Receive(), nullptr,
                         nullptr);
  }

  ComPtr<CBindHost> bindHost_;
  ComPtr<CControlSite> site_;
};

TEST_F(ControlSite, AnswersTheSiteInterfacesAsOneObject) {
  const ComPtr<IUnknown> identity = Identity(static_cast<IOleClientSite*>(site_.Get()));
  for (const IID& iid :
       {IID_IOleClientSite, IID_IOleWindow, IID_IOleInPlaceSite, IID_IOleInPlaceSiteEx,
        IID_IOleControlSite, IID_IDispatch, IID_IServiceProvider}) {
    ComPtr<IUnknown> answer;
    ASSERT_EQ(site_->QueryInterface(iid, &answer), S_OK);
    EXPECT_EQ(Identity(answer.Get()), identity);
  }
  // No windowless activation, no container of objects, no document.
  for (const IID& iid : {IID_IOleInPlaceSiteWindowless, IID_IOleContainer, IID_IBindHost}) {
    void* answer = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(site_->QueryInterface(iid, &answer), E_NOINTERFACE);
    EXPECT_EQ(answer, nullptr);
  }
  ComPtr<IOleContainer> container;
  EXPECT_EQ(site_->GetContainer(&container), E_NOINTERFACE);
  EXPECT_EQ(container, nullptr);
}

TEST_F(ControlSite, AmbientsAreThoseOfAPageInUserMode) {
  struct Expected {
    DISPID id;
    VARTYPE vt;
    LONG value;  // lVal, or boolVal for VT_BOOL
  };
  const Expected flags[] = {
      {DISPID_AMBIENT_USERMODE, VT_BOOL, VARIANT_TRUE},
      {DISPID_AMBIENT_UIDEAD, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_SHOWGRABHANDLES, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_SHOWHATCHING, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_MESSAGEREFLECT, VT_BOOL, VARIANT_FALSE},
      {DISPID_AMBIENT_LOCALEID, VT_I4, static_cast<LONG>(::GetUserDefaultLCID())},
      {DISPID_AMBIENT_BACKCOLOR, VT_I4, static_cast<LONG>(0x80000000u | COLOR_WINDOW)},
      {DISPID_AMBIENT_FORECOLOR, VT_I4, static_cast<LONG>(0x80000000u | COLOR_WINDOWTEXT)},
  };
  for (const Expected& expected : flags) {
    ScopedVariant value;
    ASSERT_EQ(Ambient(expected.id, value), S_OK) << expected.id;
    ASSERT_EQ(value.Get().vt, expected.vt) << expected.id;
    EXPECT_EQ(expected.vt == VT_BOOL ? value.Get().boolVal : value.Get().lVal, expected.value)
        << expected.id;
  }
  ScopedVariant name;
  ASSERT_EQ(Ambient(DISPID_AMBIENT_DISPLAYNAME, name), S_OK);
  ASSERT_EQ(name.Get().vt, VT_BSTR);
  EXPECT_STREQ(name.Get().bstrVal, L"grid");
}

TEST_F(ControlSite, OtherAmbientsAndOtherCallsAreRefused) {
  ScopedVariant value;
  EXPECT_EQ(Ambient(DISPID_AMBIENT_FONT, value), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Ambient(DISPID_AMBIENT_PALETTE, value), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Ambient(12345, value), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Ambient(DISPID_AMBIENT_USERMODE, value, DISPATCH_METHOD), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Ambient(DISPID_AMBIENT_USERMODE, value, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(value.Get().vt, VT_EMPTY);

  ScopedVariant argument(LONG{1});
  VARIANTARG arguments[] = {argument.Get()};
  DISPPARAMS one = {arguments, nullptr, 1, 0};
  EXPECT_EQ(site_->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &one,
                          value.Receive(), nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(site_->Invoke(DISPID_AMBIENT_USERMODE, IID_IDispatch, 0, DISPATCH_PROPERTYGET, nullptr,
                          value.Receive(), nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(site_->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr,
                          nullptr, nullptr, nullptr),
            E_POINTER);
  EXPECT_EQ(value.Get().vt, VT_EMPTY);

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"UserMode")};
  DISPID id = 0;
  EXPECT_EQ(site_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  UINT count = 99;
  EXPECT_EQ(site_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST_F(ControlSite, OffersItsBindHostAsAServiceAndThePageAsItsMoniker) {
  const ULONG before = ReferenceCount(static_cast<IBindHost*>(bindHost_.Get()));
  {
    ComPtr<IBindHost> service;
    ASSERT_EQ(site_->QueryService(SID_SBindHost, IID_PPV_ARGS(&service)), S_OK);
    EXPECT_EQ(service.Get(), static_cast<IBindHost*>(bindHost_.Get()));
    ComPtr<IUnknown> as_unknown;
    EXPECT_EQ(site_->QueryService(SID_SBindHost, IID_PPV_ARGS(&as_unknown)), S_OK);
    void* other = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(site_->QueryService(SID_SBindHost, IID_IOleObject, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    other = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(site_->QueryService(IID_IInternetSecurityManager, IID_IUnknown, &other),
              E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);

    ComPtr<IMoniker> page;
    ASSERT_EQ(site_->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &page), S_OK);
    EXPECT_EQ(page.Get(), bindHost_->PageMoniker());
    ComPtr<IMoniker> object;
    EXPECT_EQ(site_->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_OBJFULL, &object), E_FAIL);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(ReferenceCount(static_cast<IBindHost*>(bindHost_.Get())), before);
  site_.Reset();
  EXPECT_EQ(ReferenceCount(static_cast<IBindHost*>(bindHost_.Get())),
            before - 1);  // the site's let go
}

TEST_F(ControlSite, WithoutABindHostThereIsNoServiceAndNoPage) {
  auto site = MakeComObject<CControlSite>(L"grid", nullptr, nullptr);
  void* service = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(site->QueryService(SID_SBindHost, IID_IBindHost, &service), E_NOINTERFACE);
  EXPECT_EQ(service, nullptr);
  IMoniker* page = reinterpret_cast<IMoniker*>(0xdeadbeef);
  EXPECT_EQ(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &page), E_FAIL);
  EXPECT_EQ(page, nullptr);
  EXPECT_EQ(site->QueryService(SID_SBindHost, IID_IBindHost, nullptr), E_POINTER);
}

TEST_F(ControlSite, WindowContextIsTheHostWindowInAPlainFrame) {
  HWND window = nullptr;
  EXPECT_EQ(site_->GetWindow(&window), E_FAIL);
  EXPECT_EQ(site_->CanInPlaceActivate(), S_FALSE);
  IOleInPlaceFrame* frame = reinterpret_cast<IOleInPlaceFrame*>(0xdeadbeef);
  IOleInPlaceUIWindow* document = reinterpret_cast<IOleInPlaceUIWindow*>(0xdeadbeef);
  RECT position = {}, clip = {};
  OLEINPLACEFRAMEINFO info = {sizeof(info)};
  EXPECT_EQ(site_->GetWindowContext(&frame, &document, &position, &clip, &info), E_FAIL);
  EXPECT_EQ(frame, nullptr);
  EXPECT_EQ(document, nullptr);

  ScopedWindow top(::CreateWindowExW(0, L"STATIC", L"page", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                     nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(top);
  ScopedWindow child(::CreateWindowExW(0, L"STATIC", L"object", WS_CHILD, 10, 10, 120, 80,
                                       top.Get(), nullptr, nullptr, nullptr));
  ASSERT_TRUE(child);
  site_->SetWindow(child.Get());
  ASSERT_EQ(site_->GetWindow(&window), S_OK);
  EXPECT_EQ(window, child.Get());
  EXPECT_EQ(site_->CanInPlaceActivate(), S_OK);

  ComPtr<IOleInPlaceFrame> frame_owner;
  ComPtr<IOleInPlaceUIWindow> document_owner;
  ASSERT_EQ(site_->GetWindowContext(&frame_owner, &document_owner, &position, &clip, &info), S_OK);
  ASSERT_TRUE(frame_owner);
  EXPECT_EQ(document_owner, nullptr);
  EXPECT_EQ(position.left, 0);
  EXPECT_EQ(position.top, 0);
  EXPECT_EQ(position.right, 120);
  EXPECT_EQ(position.bottom, 80);
  EXPECT_TRUE(::EqualRect(&position, &clip));
  EXPECT_FALSE(info.fMDIApp);
  EXPECT_EQ(info.hwndFrame, top.Get());
  EXPECT_EQ(info.haccel, nullptr);
  EXPECT_EQ(info.cAccelEntries, 0u);

  // The frame has no tool space and no menus, and lives in the top-level window.
  ASSERT_EQ(frame_owner->GetWindow(&window), S_OK);
  EXPECT_EQ(window, top.Get());
  RECT border = {};
  EXPECT_EQ(frame_owner->GetBorder(&border), INPLACE_E_NOTOOLSPACE);
  BORDERWIDTHS widths = {0, 20, 0, 0};
  EXPECT_EQ(frame_owner->RequestBorderSpace(&widths), INPLACE_E_NOTOOLSPACE);
  EXPECT_EQ(frame_owner->SetBorderSpace(&widths), INPLACE_E_NOTOOLSPACE);
  EXPECT_EQ(frame_owner->SetBorderSpace(nullptr), S_OK);
  OLEMENUGROUPWIDTHS menus = {{7, 7, 7, 7, 7, 7}};
  EXPECT_EQ(frame_owner->InsertMenus(nullptr, &menus), S_OK);
  EXPECT_EQ(menus.width[0] + menus.width[2] + menus.width[4], 0);
  EXPECT_EQ(menus.width[1], 7);  // the object's groups are the object's
  ComPtr<IOleInPlaceUIWindow> ui_window;
  EXPECT_EQ(frame_owner.As(&ui_window), S_OK);
  ui_window.Reset();
  EXPECT_EQ(frame_owner.Get(), static_cast<IOleInPlaceFrame*>(site_->Frame()));

  site_->SetWindow(nullptr);
  EXPECT_EQ(site_->Frame(), nullptr);
  EXPECT_EQ(ReferenceCount(frame_owner.Get()), 1u);  // only ours is left
}

TEST_F(ControlSite, InPlaceNotificationsNeedTheObjectsInPlaceInterface) {
  EXPECT_EQ(site_->OnInPlaceActivate(), E_UNEXPECTED);  // no object yet
  EXPECT_FALSE(site_->InPlaceActive());
  // An object that is no in-place object cannot go in place.
  site_->SetObject(
      static_cast<IOleClientSite*>(MakeComObject<CControlSite>(L"x", nullptr, nullptr).Get()));
  EXPECT_EQ(site_->OnInPlaceActivate(), E_NOINTERFACE);
  EXPECT_FALSE(site_->InPlaceActive());
  EXPECT_EQ(site_->OnPosRectChange(nullptr), E_POINTER);
  RECT rect = {0, 0, 10, 10};
  EXPECT_EQ(site_->OnPosRectChange(&rect), E_UNEXPECTED);
  EXPECT_EQ(site_->DeactivateAndUndo(), E_UNEXPECTED);
  EXPECT_EQ(site_->OnUIActivate(), S_OK);
  EXPECT_TRUE(site_->UiActive());
  EXPECT_EQ(site_->OnUIDeactivate(FALSE), S_OK);
  EXPECT_FALSE(site_->UiActive());
  site_->Detach();
}

TEST_F(ControlSite, TransformsHimetricToPixelsAndBack) {
  HDC screen = ::GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const int dpi_x = ::GetDeviceCaps(screen, LOGPIXELSX);
  const int dpi_y = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);

  POINTL himetric = {2540, 5080};  // one inch by two
  POINTF container = {};
  ASSERT_EQ(site_->TransformCoords(&himetric, &container,
                                   XFORMCOORDS_SIZE | XFORMCOORDS_HIMETRICTOCONTAINER),
            S_OK);
  EXPECT_FLOAT_EQ(container.x, static_cast<float>(dpi_x));
  EXPECT_FLOAT_EQ(container.y, static_cast<float>(2 * dpi_y));

  container = {static_cast<float>(dpi_x) / 2, static_cast<float>(dpi_y)};
  ASSERT_EQ(site_->TransformCoords(&himetric, &container,
                                   XFORMCOORDS_POSITION | XFORMCOORDS_CONTAINERTOHIMETRIC),
            S_OK);
  EXPECT_EQ(himetric.x, 1270);
  EXPECT_EQ(himetric.y, 2540);

  EXPECT_EQ(site_->TransformCoords(&himetric, &container, XFORMCOORDS_SIZE), E_INVALIDARG);
  EXPECT_EQ(site_->TransformCoords(nullptr, &container, XFORMCOORDS_HIMETRICTOCONTAINER),
            E_POINTER);
}

}  // namespace
