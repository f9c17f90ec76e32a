#include "common/scoped_owner.h"

#include <gtest/gtest.h>

#include "common/com_object.h"
#include "common/win_error.h"
#include "tests/win/temp_folder.h"

namespace {

// Owners close what they hold, keep the error of the call before them, and know which value
// means "nothing" for their kind of handle.
TEST(ScopedOwner, ClosesKeepsLastErrorAndKnowsItsEmptyValue) {
  HANDLE event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  {
    ScopedHandle owner(event);
    ::SetLastError(ERROR_ACCESS_DENIED);
  }  // closing here must not disturb the error a caller is about to read
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), ::GetLastError());
  EXPECT_FALSE(::SetEvent(event));  // closed

  ScopedHandle taken(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
  HANDLE raw = taken.Take();
  EXPECT_FALSE(taken.IsValid());
  EXPECT_TRUE(::SetEvent(raw));
  ScopedHandle again(raw);  // owned again, closed at the end

  TempFolder folder;
  ScopedFile missing(::CreateFileW((folder / L"absent.txt").c_str(), GENERIC_READ, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(missing.IsValid());  // INVALID_HANDLE_VALUE is this owner's empty value
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), HResultFromLastError());
  ScopedFile created(::CreateFileW((folder / L"new.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, 0, nullptr));
  EXPECT_TRUE(created.IsValid());

  ScopedFile moved(std::move(created));
  EXPECT_FALSE(created.IsValid());
  EXPECT_TRUE(moved.IsValid());
}

TEST(WinError, AFailureIsNeverSuccess) {
  EXPECT_EQ(E_FAIL, HResultFromWin32(ERROR_SUCCESS));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), HResultFromWin32(ERROR_SHARING_VIOLATION));
  ::SetLastError(ERROR_SUCCESS);
  EXPECT_TRUE(FAILED(HResultFromLastError()));
}

}  // namespace

namespace {

class CCounted final : public CComObject<IUnknown> {
 public:
  explicit CCounted(int& alive) : alive_(alive) { ++alive_; }
  ~CCounted() override { --alive_; }

 private:
  int& alive_;
};

// Our objects start with one reference, owned by the pointer that made them; they go with it.
TEST(ComObject, MadeObjectGoesWithItsLastReference) {
  int alive = 0;
  {
    auto object = MakeComObject<CCounted>(alive);
    EXPECT_EQ(1, alive);
    Microsoft::WRL::ComPtr<IUnknown> other = object;
    object.Reset();
    EXPECT_EQ(1, alive);
  }
  EXPECT_EQ(0, alive);
}

}  // namespace
