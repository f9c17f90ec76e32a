// axrun's answers to message boxes: pressed from within the box's own loop, recorded in order.
#include "tools/axrun/box_answerer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

TEST(BoxAnswerer, PressesTheChosenButtonAndKeepsWhatEachBoxSaid) {
  CBoxAnswerer boxes;
  boxes.AnswerWith(IDYES);
  EXPECT_EQ(::MessageBoxW(nullptr, L"Add the sites?", L"Warning", MB_YESNO), IDYES);
  boxes.AnswerWith(IDNO);
  EXPECT_EQ(::MessageBoxW(nullptr, L"Again?", L"Warning", MB_YESNO | MB_ICONQUESTION), IDNO);
  boxes.AnswerWith(IDOK);
  EXPECT_EQ(::MessageBoxW(nullptr, L"line one\r\nline two", L"Error", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_THAT(boxes.Seen(), ElementsAre(L"Warning: Add the sites?", L"Warning: Again?",
                                        L"Error: line one\r\nline two"));
}

// Other dialogs of the thread (a control's own, without the box's text) are left alone.
TEST(BoxAnswerer, LeavesOtherWindowsAloneAndStopsWhenTold) {
  CBoxAnswerer boxes;
  boxes.AnswerWith(IDOK);
  const HWND plain = ::CreateWindowExW(0, L"#32770", L"Please Wait ...", WS_POPUP, 0, 0, 10, 10,
                                       nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < 300) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(10);
  }
  EXPECT_TRUE(::IsWindow(plain));
  EXPECT_THAT(boxes.Seen(), IsEmpty());
  ::DestroyWindow(plain);

  // Stopped: a box waits as it would for a user, until someone else answers it.
  boxes.AnswerWith(0);
  std::thread user([] {
    HWND box = nullptr;
    for (int tries = 0; tries < 200 && box == nullptr; ++tries) {
      ::Sleep(25);
      box = ::FindWindowW(L"#32770", L"Stopped");
    }
    ::Sleep(200);
    ::PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(::MessageBoxW(nullptr, L"Nobody presses this", L"Stopped", MB_OKCANCEL), IDCANCEL);
  user.join();
  EXPECT_THAT(boxes.Seen(), IsEmpty());
}

}  // namespace
