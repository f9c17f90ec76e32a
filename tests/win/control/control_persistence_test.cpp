// The framework's persistence: one property table through a stream, a storage and a property
// bag, with the stream's exact bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/com_server/class_factory.h"
#include "common/com_server/com_module.h"
#include "common/com_server/property_stream.h"
#include "tests/win/control/probe_control.h"
#include "tests/win/counted_class_registration.h"
#include "tests/win/dispatch_client.h"
#include "tests/win/stream_bytes.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

// A property bag of PARAM texts that converts on Read as a browser's does, and records writes.
class TextBag final : public CComObject<IPropertyBag> {
 public:
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    const auto found = texts.find(name);
    if (found == texts.end()) return E_INVALIDARG;
    ScopedVariant text(found->second.c_str());
    const VARTYPE wanted = value->vt == VT_EMPTY ? static_cast<VARTYPE>(VT_BSTR) : value->vt;
    return ::VariantChangeType(value, text.Pointer(), 0, wanted);
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    written.push_back(name);
    ScopedVariant text;
    const HRESULT hr = ::VariantChangeType(text.Pointer(), value, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    types[name] = value->vt;
    texts[name] = TextOf(text.Get());
    return S_OK;
  }

  std::map<std::wstring, std::wstring> texts;
  std::map<std::wstring, VARTYPE> types;
  std::vector<std::wstring> written;
};

class ControlPersistence : public testing::Test {
 protected:
  void SetUp() override {
    ComModule::Init(::GetModuleHandleW(nullptr));
    probe_ = MakeComObject<CProbeControl>();
    ASSERT_EQ(probe_.As(&dispatch_), S_OK);
    ASSERT_EQ(probe_.As(&oleObject_), S_OK);
    SIZEL extent = {2000, 1000};
    ASSERT_EQ(oleObject_->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
  }
  CProbeControl& Probe() { return *static_cast<CProbeControl*>(probe_.Get()); }

  ComPtr<IProbeControl> probe_;
  ComPtr<IDispatch> dispatch_;
  ComPtr<IOleObject> oleObject_;
};

// A control of extent 2000 x 1000 with its defaults, byte for byte.
const std::vector<BYTE> kDefaultStream = {
    0x00, 0x03, 0x00, 0x00, 0xD0, 0x07, 0x00, 0x00, 0xE8, 0x03, 0x00, 0x00, 0x08, 0x00, 0x12,
    0x00, 0x00, 0x00, 'd',  0,    'a',  0,    'r',  0,    'k',  0,    'g',  0,    'r',  0,
    'a',  0,    'y',  0,    0,    0,    0x03, 0x00, 0x2C, 0x01, 0x00, 0x00, 0x03, 0x00, 0xC8,
    0x00, 0x00, 0x00, 0x0B, 0x00, 0xFF, 0xFF, 0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST_F(ControlPersistence, StreamSaveWritesTheTableInOrder) {
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(probe_.As(&persist), S_OK);
  ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(persist->Save(stream.Get(), TRUE), S_OK);
  EXPECT_EQ(StreamBytes(stream.Get()), kDefaultStream);
  EXPECT_EQ(persist->IsDirty(), S_FALSE);
  CLSID clsid = GUID_NULL;
  ASSERT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_ProbeControl);
  Probe().failGets = true;
  ComPtr<IStream> refused = StreamOf({});
  EXPECT_EQ(persist->Save(refused.Get(), TRUE), E_FAIL) << "a failing get ends the save";
}

TEST_F(ControlPersistence, StreamLoadPutsEveryPropertyBack) {
  ASSERT_EQ(PutByName(dispatch_.Get(), L"Color", ScopedVariant(L"navy")), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"Width", ScopedVariant(640L)), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"Border", BoolArgument(false)), S_OK);
  ASSERT_EQ(PutByName(dispatch_.Get(), L"Image", ScopedVariant(L"back.png")), S_OK);
  ComPtr<IPersistStreamInit> saved;
  ASSERT_EQ(probe_.As(&saved), S_OK);
  ComPtr<IStream> stream = StreamOf({});
  ASSERT_EQ(saved->Save(stream.Get(), FALSE), S_OK);

  ComPtr<IProbeControl> fresh = MakeComObject<CProbeControl>();
  ComPtr<IPersistStreamInit> loader;
  ASSERT_EQ(fresh.As(&loader), S_OK);
  ASSERT_EQ(loader->InitNew(), S_OK);
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(loader->Load(stream.Get()), S_OK);
  auto& probe = *static_cast<CProbeControl*>(fresh.Get());
  EXPECT_THAT(probe.calls, ElementsAre(L"put:3", L"put:7", L"put:8", L"put:12", L"put:13"));
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(fresh.As(&dispatch), S_OK);
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"Color").Get()), L"navy");
  EXPECT_EQ(GetByName(dispatch.Get(), L"Width").Get().lVal, 640);
  EXPECT_EQ(GetByName(dispatch.Get(), L"Border").Get().boolVal, VARIANT_FALSE);
  EXPECT_EQ(TextOf(GetByName(dispatch.Get(), L"Image").Get()), L"back.png");
  ComPtr<IOleObject> object;
  ASSERT_EQ(fresh.As(&object), S_OK);
  SIZEL extent = {};
  ASSERT_EQ(object->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 2000);
  EXPECT_EQ(extent.cy, 1000);
}

TEST_F(ControlPersistence, StreamLoadRefusesLaterVersionsAndStopsAtDamage) {
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(probe_.As(&persist), S_OK);
  std::vector<BYTE> later = kDefaultStream;
  later[0] = 0x01;  // 0x301
  ComPtr<IStream> refused = StreamOf(later);
  EXPECT_EQ(persist->Load(refused.Get()), E_FAIL);
  EXPECT_TRUE(Probe().calls.empty()) << "nothing changes";

  // Cut inside the Height record: the rows before it keep their new values.
  std::vector<BYTE> cut = kDefaultStream;
  cut[12 + 6] = 'n';  // "narkgray"
  cut.resize(12 + 24 + 6 + 3);
  ComPtr<IStream> truncated = StreamOf(cut);
  EXPECT_EQ(persist->Load(truncated.Get()), E_FAIL);
  EXPECT_THAT(Probe().calls, ElementsAre(L"put:3", L"put:7"));
  EXPECT_EQ(TextOf(GetByName(dispatch_.Get(), L"Color").Get()), L"narkgray");

  // A put the control refuses ends the load.
  Probe().calls.clear();
  std::vector<BYTE> refused_width = kDefaultStream;
  const LONG width = CProbeControl::kRefusedWidth;
  memcpy(&refused_width[12 + 24 + 2], &width, sizeof(width));
  ComPtr<IStream> stream = StreamOf(refused_width);
  EXPECT_EQ(persist->Load(stream.Get()), E_FAIL);
  EXPECT_THAT(Probe().calls, ElementsAre(L"put:3", L"put:7"));
}

TEST_F(ControlPersistence, StreamLoadRefusesAnObjectRecordAndCreatesNothing) {
  // The class the record names is there to be made: the probe's own.
  CountedClassRegistration probes(CLSID_ProbeControl, &CreateObject<CProbeControl>);
  ASSERT_EQ(probes.Registered(), S_OK);
  ComPtr<IPersistStreamInit> persist;
  ASSERT_EQ(probe_.As(&persist), S_OK);
  constexpr size_t kWidthRecord = 12 + 24;  // after the version, the extent and Color
  const BYTE* clsid = reinterpret_cast<const BYTE*>(&CLSID_ProbeControl);
  for (VARTYPE type : {VARTYPE{VT_UNKNOWN}, VARTYPE{VT_DISPATCH}}) {
    std::vector<BYTE> bytes(kDefaultStream.begin(), kDefaultStream.begin() + kWidthRecord);
    bytes.insert(bytes.end(), {static_cast<BYTE>(type), 0});
    bytes.insert(bytes.end(), clsid, clsid + sizeof(CLSID));
    // Then the object's data, as though the rest were the probe's own stream.
    bytes.insert(bytes.end(), kDefaultStream.begin(), kDefaultStream.end());
    ComPtr<IStream> stream = StreamOf(bytes);
    Probe().calls.clear();
    EXPECT_EQ(persist->Load(stream.Get()), kObjectRecordRefused) << type;
    EXPECT_THAT(Probe().calls, ElementsAre(L"put:3")) << "the rows before it are loaded";
    ULARGE_INTEGER position = {};
    ASSERT_EQ(stream->Seek({}, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, kWidthRecord + sizeof(VARTYPE)) << "nothing read after its type";
  }
  EXPECT_EQ(probes.Requests(), 0);
  EXPECT_EQ(GetByName(dispatch_.Get(), L"Width").Get().lVal, 300);
  ComPtr<IUnknown> made;  // it could have been made
  EXPECT_EQ(
      ::CoCreateInstance(CLSID_ProbeControl, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&made)),
      S_OK);
  EXPECT_EQ(probes.Requests(), 1);
}

TEST_F(ControlPersistence, StorageKeepsTheStreamAsContents) {
  ComPtr<ILockBytes> bytes;
  ASSERT_EQ(::CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
  ComPtr<IStorage> storage;
  ASSERT_EQ(::StgCreateDocfileOnILockBytes(
                bytes.Get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
            S_OK);
  ComPtr<IPersistStorage> persist;
  ASSERT_EQ(probe_.As(&persist), S_OK);
  ASSERT_EQ(persist->InitNew(storage.Get()), S_OK);
  ASSERT_EQ(persist->Save(storage.Get(), TRUE), S_OK);
  ComPtr<IStream> contents;
  ASSERT_EQ(
      storage->OpenStream(L"Contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &contents),
      S_OK);
  EXPECT_EQ(StreamBytes(contents.Get()), kDefaultStream);
  contents.Reset();

  ComPtr<IProbeControl> fresh = MakeComObject<CProbeControl>();
  ComPtr<IPersistStorage> loader;
  ASSERT_EQ(fresh.As(&loader), S_OK);
  ASSERT_EQ(loader->Load(storage.Get()), S_OK);
  EXPECT_EQ(static_cast<CProbeControl*>(fresh.Get())->calls.size(), 5u);

  ComPtr<IStorage> empty;
  ASSERT_EQ(storage->CreateStorage(L"Empty", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                   0, &empty),
            S_OK);
  EXPECT_EQ(loader->Load(empty.Get()), STG_E_FILENOTFOUND);
}

TEST_F(ControlPersistence, BagLoadsPresentNamesInTheirTypesAndSkipsTheRest) {
  ComPtr<IPersistPropertyBag> persist;
  ASSERT_EQ(probe_.As(&persist), S_OK);
  auto bag = MakeComObject<TextBag>();
  bag->texts = {{L"Color", L"navy"},
                {L"Height", L"150"},
                {L"Border", L"0"},
                {L"Width", L"wide"},  // no number: skipped, not fatal
                {L"_cx", L"4000"}};
  ASSERT_EQ(persist->Load(bag.Get(), nullptr), S_OK);
  EXPECT_THAT(Probe().calls, ElementsAre(L"put:3", L"put:8", L"put:12"));
  EXPECT_EQ(TextOf(GetByName(dispatch_.Get(), L"Color").Get()), L"navy");
  EXPECT_EQ(GetByName(dispatch_.Get(), L"Width").Get().lVal, 300);
  EXPECT_EQ(GetByName(dispatch_.Get(), L"Height").Get().lVal, 150);
  EXPECT_EQ(GetByName(dispatch_.Get(), L"Border").Get().boolVal, VARIANT_FALSE);
  SIZEL extent = {};
  ASSERT_EQ(oleObject_->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
  EXPECT_EQ(extent.cx, 4000);
  EXPECT_EQ(extent.cy, 1000);

  auto saved = MakeComObject<TextBag>();
  ASSERT_EQ(persist->Save(saved.Get(), TRUE, TRUE), S_OK);
  EXPECT_THAT(saved->written,
              ElementsAre(L"_cx", L"_cy", L"Color", L"Width", L"Height", L"Border", L"Image"));
  EXPECT_EQ(saved->types[L"_cx"], VT_UI4);
  EXPECT_EQ(saved->types[L"Width"], VT_I4);
  EXPECT_EQ(saved->types[L"Border"], VT_BOOL);
  EXPECT_EQ(saved->texts[L"Color"], L"navy");

  Probe().failGets = true;
  EXPECT_EQ(persist->Load(bag.Get(), nullptr), E_FAIL) << "a failing get ends the load";
}

TEST_F(ControlPersistence, PropertyPagesAreTheTablesDistinctPages) {
  ComPtr<ISpecifyPropertyPages> pages;
  ASSERT_EQ(probe_.As(&pages), S_OK);
  CAUUID list = {};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_EQ(list.pElems[0], CLSID_ProbeControl);
  ::CoTaskMemFree(list.pElems);
}

TEST_F(ControlPersistence, ObjectsGoWithTheirLastReference) {
  const LONG before = ComModule::Objects();
  {
    ComPtr<IProbeControl> another = MakeComObject<CProbeControl>();
    ComPtr<IViewObject2> view;
    ASSERT_EQ(another.As(&view), S_OK);
    EXPECT_EQ(ComModule::Objects(), before + 1);
  }
  EXPECT_EQ(ComModule::Objects(), before);
}

}  // namespace
