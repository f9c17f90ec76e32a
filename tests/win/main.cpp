#include <gtest/gtest.h>

#include "common/com_initializer.h"

int wmain(int argc, wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  OleInitializer ole;  // every test runs on an OLE apartment, as the program does
  return RUN_ALL_TESTS();
}
