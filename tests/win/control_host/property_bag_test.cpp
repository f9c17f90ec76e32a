// The PARAM property bag: text converted to the type the control asks for, names without case.
#include "tools/control_host/property_bag.h"

#include <gtest/gtest.h>

#include <string>

#include "common/com_server/variant.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr LONG kMarker = static_cast<LONG>(0xdeadbeef);

// Reads name as `wanted`. On success value owns what Read gave; on failure *left (if given)
// shows what Read left of the request: its vt and the marker, when untouched.
HRESULT Read(CPropertyBag* bag, const wchar_t* name, VARTYPE wanted, ScopedVariant& value,
             VARIANT* left = nullptr) {
  VARIANT request;
  request.vt = wanted;
  request.lVal = kMarker;  // garbage to a bag that would free it as a BSTR
  const HRESULT result = bag->Read(name, &request, nullptr);
  if (SUCCEEDED(result)) {
    *value.Receive() = request;
  } else if (left != nullptr) {
    *left = request;
  }
  return result;
}

class PropertyBag : public testing::Test {
 protected:
  void SetUp() override {
    bag_->Set(L"XMLUrl", L"data/update.xml");
    bag_->Set(L"Count", L"42");
    bag_->Set(L"Ratio", L"2.5");
    bag_->Set(L"Enabled", L"true");
    bag_->Set(L"Off", L"0");
  }
  ComPtr<CPropertyBag> bag_ = MakeComObject<CPropertyBag>();
};

TEST_F(PropertyBag, ReadConvertsTheTextToTheTypeAsked) {
  ScopedVariant value;
  ASSERT_EQ(Read(bag_.Get(), L"XMLUrl", VT_BSTR, value), S_OK);
  ASSERT_EQ(value.Get().vt, VT_BSTR);
  EXPECT_STREQ(value.Get().bstrVal, L"data/update.xml");

  ASSERT_EQ(Read(bag_.Get(), L"XMLUrl", VT_EMPTY, value), S_OK);  // no type wanted: text
  ASSERT_EQ(value.Get().vt, VT_BSTR);
  EXPECT_STREQ(value.Get().bstrVal, L"data/update.xml");

  ASSERT_EQ(Read(bag_.Get(), L"Count", VT_I4, value), S_OK);
  ASSERT_EQ(value.Get().vt, VT_I4);
  EXPECT_EQ(value.Get().lVal, 42);
  ASSERT_EQ(Read(bag_.Get(), L"Count", VT_UI2, value), S_OK);
  ASSERT_EQ(value.Get().vt, VT_UI2);
  EXPECT_EQ(value.Get().uiVal, 42);

  ASSERT_EQ(Read(bag_.Get(), L"Ratio", VT_R8, value), S_OK);
  ASSERT_EQ(value.Get().vt, VT_R8);
  EXPECT_DOUBLE_EQ(value.Get().dblVal, 2.5);

  ASSERT_EQ(Read(bag_.Get(), L"Enabled", VT_BOOL, value), S_OK);
  ASSERT_EQ(value.Get().vt, VT_BOOL);
  EXPECT_EQ(value.Get().boolVal, VARIANT_TRUE);
  ASSERT_EQ(Read(bag_.Get(), L"Off", VT_BOOL, value), S_OK);
  EXPECT_EQ(value.Get().boolVal, VARIANT_FALSE);
  ASSERT_EQ(Read(bag_.Get(), L"Count", VT_BOOL, value), S_OK);
  EXPECT_EQ(value.Get().boolVal, VARIANT_TRUE);
}

TEST_F(PropertyBag, NamesAreFoundWhateverTheirCase) {
  ScopedVariant value;
  ASSERT_EQ(Read(bag_.Get(), L"xmlurl", VT_BSTR, value), S_OK);
  EXPECT_STREQ(value.Get().bstrVal, L"data/update.xml");
  ASSERT_EQ(Read(bag_.Get(), L"COUNT", VT_I4, value), S_OK);
  EXPECT_EQ(value.Get().lVal, 42);
  std::wstring text = L"untouched";
  EXPECT_TRUE(bag_->Find(L"xMlUrL", text));
  EXPECT_EQ(text, L"data/update.xml");
}

TEST_F(PropertyBag, MissingNamesAndUnconvertibleTextFailLeavingTheVariantAlone) {
  ScopedVariant value;
  VARIANT left = {};
  EXPECT_EQ(Read(bag_.Get(), L"Nothing", VT_BSTR, value, &left), E_INVALIDARG);
  EXPECT_EQ(left.vt, VT_BSTR);
  EXPECT_EQ(left.lVal, kMarker);
  EXPECT_EQ(Read(bag_.Get(), L"Nothing", VT_I4, value, &left), E_INVALIDARG);
  EXPECT_EQ(left.vt, VT_I4);
  EXPECT_EQ(left.lVal, kMarker);

  EXPECT_EQ(Read(bag_.Get(), L"XMLUrl", VT_I4, value, &left), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(left.vt, VT_I4);
  EXPECT_EQ(left.lVal, kMarker);
  EXPECT_EQ(Read(bag_.Get(), L"XMLUrl", VT_BOOL, value, &left), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(left.vt, VT_BOOL);
  bag_->Set(L"Huge", L"99999");
  EXPECT_EQ(Read(bag_.Get(), L"Huge", VT_I2, value, &left), DISP_E_OVERFLOW);
  EXPECT_EQ(left.vt, VT_I2);
  EXPECT_EQ(left.lVal, kMarker);
  EXPECT_EQ(value.Get().vt, VT_EMPTY);  // no read succeeded

  std::wstring text = L"untouched";
  EXPECT_FALSE(bag_->Find(L"Nothing", text));
  EXPECT_EQ(text, L"untouched");
  EXPECT_EQ(bag_->Read(nullptr, value.Pointer(), nullptr), E_POINTER);
  EXPECT_EQ(bag_->Read(L"Count", nullptr, nullptr), E_POINTER);
  EXPECT_EQ(bag_->Write(nullptr, value.Pointer()), E_POINTER);
  EXPECT_EQ(bag_->Write(L"Count", nullptr), E_POINTER);
  EXPECT_EQ(bag_->Count(), 6u);
}

TEST_F(PropertyBag, WriteStoresTextThatReadsBackAsTheTypeWritten) {
  ScopedVariant number(LONG{-17});
  ASSERT_EQ(bag_->Write(L"Offset", number.Pointer()), S_OK);
  ScopedVariant flag;
  flag.Pointer()->vt = VT_BOOL;
  flag.Pointer()->boolVal = VARIANT_TRUE;
  ASSERT_EQ(bag_->Write(L"Visible", flag.Pointer()), S_OK);
  ScopedVariant text(L"saved text");
  ASSERT_EQ(bag_->Write(L"caption", text.Pointer()), S_OK);

  std::wstring held;
  ASSERT_TRUE(bag_->Find(L"Offset", held));
  EXPECT_EQ(held, L"-17");
  ASSERT_TRUE(bag_->Find(L"Visible", held));
  EXPECT_EQ(held, L"True");

  ScopedVariant value;
  ASSERT_EQ(Read(bag_.Get(), L"Offset", VT_I4, value), S_OK);
  EXPECT_EQ(value.Get().lVal, -17);
  ASSERT_EQ(Read(bag_.Get(), L"Visible", VT_BOOL, value), S_OK);
  EXPECT_EQ(value.Get().boolVal, VARIANT_TRUE);
  ASSERT_EQ(Read(bag_.Get(), L"Caption", VT_BSTR, value), S_OK);
  EXPECT_STREQ(value.Get().bstrVal, L"saved text");
  EXPECT_EQ(bag_->Count(), 8u);
}

TEST_F(PropertyBag, WriteReplacesAValueOfTheSameNameWhateverItsCase) {
  ScopedVariant replacement(L"other.xml");
  ASSERT_EQ(bag_->Write(L"XMLURL", replacement.Pointer()), S_OK);
  EXPECT_EQ(bag_->Count(), 5u);
  std::wstring held;
  ASSERT_TRUE(bag_->Find(L"XMLUrl", held));
  EXPECT_EQ(held, L"other.xml");

  // A value without a text form stores nothing.
  ScopedVariant object;
  object.Pointer()->vt = VT_UNKNOWN;
  object.Pointer()->punkVal = static_cast<IPropertyBag*>(bag_.Get());
  bag_->AddRef();  // the variant's reference, let go when it is cleared
  EXPECT_EQ(bag_->Write(L"XMLUrl", object.Pointer()), DISP_E_TYPEMISMATCH);
  ASSERT_TRUE(bag_->Find(L"XMLUrl", held));
  EXPECT_EQ(held, L"other.xml");
  EXPECT_EQ(bag_->Count(), 5u);
}

}  // namespace
