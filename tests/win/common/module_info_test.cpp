#include "common/module_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"

namespace {

using Version = std::array<unsigned, 4>;

struct ImageVersionCase {
  const wchar_t* file;  // in the scratch folder
  std::optional<Version> version;
};

// The probes of storecabs/files are built at 0.9.0.0 and 2.0.0.0.
TEST(FileVersionInImage, ReadsTheVersionResourceOfTheFileItselfOrNothing) {
  const TempFolder scratch;
  const std::filesystem::path folder = scratch.Path();
  const std::filesystem::path probes = InBuildTree(L"storecabs/files");
  std::filesystem::copy_file(probes / L"VersionOlder.dll", folder / L"older.dll");
  // Named like a module this process has loaded, whose version the loader would give instead.
  std::filesystem::copy_file(probes / L"VersionNewer.dll", folder / L"version.dll");
  std::ofstream(folder / L"notes.txt") << "no version here";
  std::string head(2048, '\0');
  std::ifstream(probes / L"VersionNewer.dll", std::ios::binary).read(head.data(), 2048);
  std::ofstream(folder / L"cut.dll", std::ios::binary) << head;  // headers without their sections

  const ImageVersionCase cases[] = {
      {L"older.dll", Version{0, 9, 0, 0}}, {L"version.dll", Version{2, 0, 0, 0}},
      {L"notes.txt", std::nullopt},        {L"cut.dll", std::nullopt},
      {L"missing.dll", std::nullopt},
  };
  for (const ImageVersionCase& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(c.version, FileVersionInImage(folder / c.file));
  }
}

}  // namespace
