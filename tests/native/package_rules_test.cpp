#include "platform/core/package_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// The first bytes of a PE image: MZ, the new header's offset at 0x3C, "PE\0\0" and the file
// header's characteristics (IMAGE_FILE_DLL 0x2000 for a library).
std::string PeHead(bool dll, const char* signature = "PE\0\0") {
  std::string head(512, '\0');
  head[0] = 'M';
  head[1] = 'Z';
  head[0x3C] = static_cast<char>(0x80);
  head.replace(0x80, 4, signature, 4);
  head[0x80 + 4 + 18] = 0x02;                               // IMAGE_FILE_EXECUTABLE_IMAGE
  head[0x80 + 4 + 19] = static_cast<char>(dll ? 0x20 : 0);  // IMAGE_FILE_DLL
  return head;
}

TEST(ChooseInfMember, PrefersTheInfNamedAfterTheCabThenTakesTheFirst) {
  const struct {
    std::vector<std::string> members;
    std::optional<std::string> chosen;
  } cases[] = {
      {{"a.inf", "Brenvo.dll", "BRENVO.INF"}, "BRENVO.INF"},
      {{"Brenvo.dll", "first.inf", "second.inf"}, "first.inf"},
      {{"..\\brenvo.inf", "x.inf"}, "x.inf"},  // only plain names count
      {{"Brenvo.dll", ".inf", "inf"}, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(c.chosen, ChooseInfMember(c.members, "brenvo"));
}

TEST(CheckInfFilesPresent, NamesTheFirstFileNotInTheCab) {
  CodeDownloadInf inf;
  inf.files.resize(3);
  inf.files[0].name = "A.dll";
  inf.files[0].location = "thiscab";
  inf.files[1].name = "skip.dll";
  inf.files[1].location = "ignore";
  inf.files[2].name = "b.dll";
  inf.files[2].location = "thiscab";
  const std::vector<std::string> members = {"a.DLL", "x.inf"};
  PackageCheck check = CheckInfFilesPresent(inf, members);
  EXPECT_EQ(PackageError::kMissingMember, check.error);
  EXPECT_EQ("b.dll", check.detail);
  inf.files[2].location = "http://example.com/b.dll";
  check = CheckInfFilesPresent(inf, {"a.dll", "b.dll"});
  EXPECT_EQ(PackageError::kNotInThisCab, check.error);
  EXPECT_EQ("b.dll", check.detail);
  inf.files[2].location = "thiscab";
  EXPECT_EQ(PackageError::kNone, CheckInfFilesPresent(inf, {"a.dll", "B.DLL"}).error);
  EXPECT_TRUE(ListsMember(inf, "B.dll"));
  EXPECT_FALSE(ListsMember(inf, "skip.dll"));  // not in this CAB
}

TEST(CheckRegistrable, TakesOnlyModulesOfTheirKind) {
  const struct {
    const char* name;
    std::string head;
    bool registrable;
  } cases[] = {
      {"a.dll", PeHead(true), true},
      {"a.OCX", PeHead(true), true},
      {"a.exe", PeHead(false), true},
      {"a.dll", PeHead(false), false},
      {"a.exe", PeHead(true), false},
      {"a.txt", PeHead(true), false},
      {"a.dll", PeHead(true, "NE\0\0"), false},
      {"a.dll", PeHead(true).substr(0, 100), false},
      {"a.dll", "MZ", false},
      {"a.dll", "", false},
  };
  for (const auto& c : cases) {
    const PackageCheck check = CheckRegistrable(c.name, c.head);
    EXPECT_EQ(c.registrable ? PackageError::kNone : PackageError::kNotModuleImage, check.error)
        << c.name << " " << c.head.size();
    EXPECT_EQ(c.registrable ? "" : c.name, check.detail);
  }
}

}  // namespace
