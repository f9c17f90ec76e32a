// The BSTR owner: copies in and out as property accessors use them.
#include "common/scoped_bstr.h"

#include <gtest/gtest.h>

namespace {

TEST(ScopedBstr, CopiesCountCharactersAndHandNullOutAsEmpty) {
  ScopedBstr held;
  BSTR out = reinterpret_cast<BSTR>(0xdeadbeef);
  ASSERT_EQ(held.CopyTo(&out), S_OK);  // null held: an empty string handed out
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(::SysStringLen(out), 0u);
  ::SysFreeString(out);

  // A counted text with a null inside survives both ways.
  ScopedBstr source(::SysAllocStringLen(L"a\0b", 3));
  ASSERT_EQ(held.CopyFrom(source.Get()), S_OK);
  EXPECT_NE(held.Get(), source.Get()) << "a copy, not the caller's string";
  EXPECT_EQ(held.Length(), 3u);
  EXPECT_EQ(held.View(), std::wstring_view(L"a\0b", 3));
  ASSERT_EQ(held.CopyTo(&out), S_OK);
  EXPECT_EQ(std::wstring(out, ::SysStringLen(out)), std::wstring(L"a\0b", 3));
  ::SysFreeString(out);

  ASSERT_EQ(held.CopyFrom(nullptr), S_OK);
  EXPECT_FALSE(held.IsValid());
  EXPECT_TRUE(held.Empty());
  EXPECT_EQ(held.Text(), L"");
  ASSERT_EQ(held.Assign(L"Downloading ..."), S_OK);
  EXPECT_EQ(held.Text(), L"Downloading ...");
  EXPECT_EQ(held.CopyTo(nullptr), E_POINTER);

  ScopedBstr moved(std::move(held));
  EXPECT_FALSE(held.IsValid());
  EXPECT_EQ(moved.Text(), L"Downloading ...");
  BSTR taken = moved.Take();
  EXPECT_FALSE(moved.IsValid());
  ::SysFreeString(taken);
}

}  // namespace
