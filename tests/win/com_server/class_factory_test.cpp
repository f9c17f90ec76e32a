#include "common/com_server/class_factory.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// {6f1d2b4a-0c3e-4e5f-8a9b-7c6d5e4f3a21}
const CLSID kThingClsid = {
    0x6f1d2b4a, 0x0c3e, 0x4e5f, {0x8a, 0x9b, 0x7c, 0x6d, 0x5e, 0x4f, 0x3a, 0x21}};
const CLSID kBrokenClsid = {
    0x6f1d2b4a, 0x0c3e, 0x4e5f, {0x8a, 0x9b, 0x7c, 0x6d, 0x5e, 0x4f, 0x3a, 0x22}};
const CLSID kOtherClsid = {
    0x6f1d2b4a, 0x0c3e, 0x4e5f, {0x8a, 0x9b, 0x7c, 0x6d, 0x5e, 0x4f, 0x3a, 0x23}};

int g_creations = 0;

class Thing final : public ServerObject<IPersist> {
 public:
  Thing() { ++g_creations; }
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = kThingClsid;
    return S_OK;
  }
};

// Fails after writing to the out-pointer, as careless code might.
HRESULT CreateBroken(IUnknown*, REFIID, void** object) {
  *object = reinterpret_cast<void*>(0x1234);
  return E_OUTOFMEMORY;
}

const ClassEntry kClasses[] = {{kThingClsid, &CreateObject<Thing>}, {kBrokenClsid, &CreateBroken}};

void* const kJunk = reinterpret_cast<void*>(0xdeadbeef);

ComPtr<IClassFactory> Factory(REFCLSID clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(GetClassObject(kClasses, clsid, IID_PPV_ARGS(&factory)), S_OK);
  return factory;
}

class ComServerFactory : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ComModule::CanUnloadNow(), S_OK);
    g_creations = 0;
  }
  // Every test gives back all it took.
  void TearDown() override { EXPECT_EQ(ComModule::CanUnloadNow(), S_OK); }
};

}  // namespace

TEST_F(ComServerFactory, UnknownClassIsNotAvailableAndOutPointerNull) {
  void* object = kJunk;
  EXPECT_EQ(GetClassObject(kClasses, kOtherClsid, IID_IClassFactory, &object),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  object = kJunk;
  EXPECT_EQ(GetClassObject({}, kThingClsid, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(GetClassObject(kClasses, kThingClsid, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ComServerFactory, ClassObjectAnswersOnlyFactoryInterfaces) {
  void* object = kJunk;
  EXPECT_EQ(GetClassObject(kClasses, kThingClsid, IID_IPersist, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(GetClassObject(kClasses, kThingClsid, IID_PPV_ARGS(&unknown)), S_OK);
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(unknown.As(&factory), S_OK);
}

TEST_F(ComServerFactory, CreatesObjectsOfItsRow) {
  ComPtr<IPersist> thing;
  ASSERT_EQ(Factory(kThingClsid)->CreateInstance(nullptr, IID_PPV_ARGS(&thing)), S_OK);
  CLSID clsid = {};
  ASSERT_EQ(thing->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(::IsEqualCLSID(clsid, kThingClsid));
  EXPECT_EQ(g_creations, 1);

  void* object = kJunk;
  EXPECT_EQ(Factory(kThingClsid)->CreateInstance(nullptr, IID_IClassFactory, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(Factory(kThingClsid)->CreateInstance(nullptr, IID_IPersist, nullptr), E_POINTER);
}

TEST_F(ComServerFactory, AggregationIsRefusedBeforeAnythingIsMade) {
  ComPtr<IClassFactory> factory = Factory(kThingClsid);
  ComPtr<IPersist> outer;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&outer)), S_OK);
  g_creations = 0;
  void* object = kJunk;
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_creations, 0);
  // The create helper refuses too, for callers that bypass the factory.
  object = kJunk;
  EXPECT_EQ(CreateObject<Thing>(outer.Get(), IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_creations, 0);
}

TEST_F(ComServerFactory, FailedCreationLeavesOutPointerNull) {
  void* object = kJunk;
  EXPECT_EQ(Factory(kBrokenClsid)->CreateInstance(nullptr, IID_IUnknown, &object), E_OUTOFMEMORY);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComServerFactory, ObjectsAndFactoriesKeepTheModule) {
  ComPtr<IClassFactory> factory = Factory(kThingClsid);
  EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
  ComPtr<IPersist> first, second;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&first)), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&second)), S_OK);
  EXPECT_EQ(ComModule::Objects(), 3);
  factory.Reset();
  first.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
  second.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_OK);
}

TEST_F(ComServerFactory, LockServerKeepsTheModuleUntilUnlocked) {
  ComPtr<IClassFactory> factory = Factory(kThingClsid);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
  EXPECT_EQ(ComModule::Locks(), 2);

  factory = Factory(kThingClsid);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_OK);
}

TEST_F(ComServerFactory, StrayUnlockNeverReleasesALiveObject) {
  ComPtr<IClassFactory> factory = Factory(kThingClsid);
  ComPtr<IPersist> thing;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&thing)), S_OK);
  factory.Reset();
  factory = Factory(kThingClsid);
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
  EXPECT_EQ(ComModule::Locks(), 0);
  factory.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);  // the object still lives
  thing.Reset();
  // A later lock still counts in full.
  factory = Factory(kThingClsid);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(ComModule::CanUnloadNow(), S_FALSE);
  factory = Factory(kThingClsid);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
}

namespace {
std::vector<int> g_unloaded;
void FirstUndo() { g_unloaded.push_back(1); }
void SecondUndo() { g_unloaded.push_back(2); }
}  // namespace

TEST(ComServerModule, UnloadUndoesEachRegisteredStepOnceLastFirst) {
  g_unloaded.clear();
  ComModule::AtUnload(&FirstUndo);
  ComModule::AtUnload(&SecondUndo);
  ComModule::AtUnload(&FirstUndo);  // already there
  ComModule::Unload();
  EXPECT_EQ(g_unloaded, (std::vector<int>{2, 1}));
  ComModule::Unload();
  EXPECT_EQ(g_unloaded.size(), 2u) << "each runs once";
}
