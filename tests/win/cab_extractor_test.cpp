#include "platform/cab_extractor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"

namespace {

namespace fs = std::filesystem;
using Decision = CCabExtractor::Decision;

// The long form of a path, for folders deeper than MAX_PATH.
std::wstring Long(const fs::path& path) { return L"\\\\?\\" + path.wstring(); }

std::string FileBytes(const fs::path& path) {
  std::ifstream in(fs::path(Long(path)), std::ios::binary);
  EXPECT_TRUE(in.good()) << path.string();
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::wstring> NamesIn(const fs::path& folder) {
  std::vector<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(fs::path(Long(folder)))) {
    names.push_back(entry.path().filename().wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring SampleCab(const std::wstring& name) { return InBuildTree(L"cabfiles/" + name); }
std::wstring BadCab(const std::wstring& name) { return InBuildTree(L"badcabs/" + name); }
std::string Sample(const std::wstring& name) { return FileBytes(InBuildTree(L"samples/" + name)); }
std::string SampleInf(const std::wstring& name) {
  return FileBytes(InBuildTree(L"tests/fixtures/inf/" + name));
}

// Brenvo.cab holds Brenvo.dll, BrenvoRes.dll and Brenvo.inf, in that order.
const std::vector<std::string> kBrenvoMembers = {"Brenvo.dll", "BrenvoRes.dll", "Brenvo.inf"};

struct Asked {
  std::string name;
  uint32_t size;
  bool operator==(const Asked&) const = default;
};

TEST(CabExtractor, ExtractsTheChosenMembersInOnePassAndDropsTheOthers) {
  TempFolder out;
  CCabExtractor extractor;
  EXPECT_TRUE(extractor.Members().empty());
  ASSERT_EQ(S_OK, extractor.Open(SampleCab(L"Brenvo.cab")));
  EXPECT_EQ(kBrenvoMembers, extractor.Members());

  std::vector<Asked> asked;
  ASSERT_EQ(S_OK,
            extractor.Extract(out.Path().wstring(), [&](const std::string& name, uint32_t size) {
              asked.push_back({name, size});
              return name == "BrenvoRes.dll" ? Decision::kSkip : Decision::kExtract;
            }));
  const std::string module = Sample(L"Brenvo.dll");
  const std::string helper = Sample(L"BrenvoRes.dll");
  const std::string inf = SampleInf(L"Brenvo.inf");
  EXPECT_EQ((std::vector<Asked>{{"Brenvo.dll", static_cast<uint32_t>(module.size())},
                                {"BrenvoRes.dll", static_cast<uint32_t>(helper.size())},
                                {"Brenvo.inf", static_cast<uint32_t>(inf.size())}}),
            asked);
  EXPECT_EQ((std::vector<std::wstring>{L"Brenvo.dll", L"Brenvo.inf"}), NamesIn(out.Path()));
  EXPECT_TRUE(module == FileBytes(out.Path() / L"Brenvo.dll"));
  EXPECT_TRUE(inf == FileBytes(out.Path() / L"Brenvo.inf"));

  // One extraction per open CAB, one CAB per extractor.
  EXPECT_EQ(E_UNEXPECTED, extractor.Extract(out.Path().wstring(), [](const std::string&, uint32_t) {
    return Decision::kExtract;
  }));
  EXPECT_EQ(E_UNEXPECTED, extractor.Open(SampleCab(L"Brenvo.cab")));
}

// Whatever stops an extraction, at Open or later, nothing it wrote stays behind; a file that was
// in the folder before stays as it was.
TEST(CabExtractor, FailuresLeaveNothingOfTheirsBehind) {
  struct Case {
    const char* what;
    std::wstring cab;
    HRESULT opened;
    HRESULT extracted;
    std::vector<std::string> asked;  // the chooser's questions; all answered kExtract but the last
    Decision last = Decision::kExtract;
    bool cancel = false;  // set when the last is asked
    const wchar_t* present = nullptr;
  };
  const std::vector<std::string> none;
  const Case cases[] = {
      {"cut in half", BadCab(L"Halden.cab"), kErrorDamagedCabinet, E_UNEXPECTED, none},
      {"no cabinet", BadCab(L"Jorvel.cab"), kErrorNotCabinet, E_UNEXPECTED, none},
      {"a web page", BadCab(L"Kestro.cab"), kErrorNotCabinet, E_UNEXPECTED, none},
      {"two members, one name", BadCab(L"Tovrin.cab"), kErrorDuplicateMember, E_UNEXPECTED, none},
      {"overlapping members", BadCab(L"Xandor.cab"), kErrorDamagedCabinet, E_UNEXPECTED, none},
      {"absent", BadCab(L"Absent.cab"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), E_UNEXPECTED,
       none},
      {"damaged first block", BadCab(L"Stavin.cab"), S_OK, kErrorDamagedCabinet, none},
      {"unsafe name", BadCab(L"Norvak.cab"), S_OK, kErrorUnsafeMemberName, {"..\\evil.dll"}},
      {"chooser fails", SampleCab(L"Brenvo.cab"), S_OK, kErrorUnsafeMemberName, kBrenvoMembers,
       Decision::kFail},
      {"cancelled",
       SampleCab(L"Brenvo.cab"),
       S_OK,
       E_ABORT,
       {"Brenvo.dll", "BrenvoRes.dll"},
       Decision::kExtract,
       true},
      {"member exists",
       SampleCab(L"Brenvo.cab"),
       S_OK,
       kErrorDuplicateMember,
       {"Brenvo.dll", "BrenvoRes.dll"},
       Decision::kExtract,
       false,
       L"BRENVORES.DLL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder out;
    if (c.present) out.Touch(c.present);
    std::atomic<bool> cancel{false};
    CCabExtractor extractor;
    extractor.SetCancelFlag(&cancel);
    EXPECT_EQ(c.opened, extractor.Open(c.cab));
    EXPECT_EQ(SUCCEEDED(c.opened), !extractor.Members().empty());
    std::vector<std::string> asked;
    EXPECT_EQ(c.extracted,
              extractor.Extract(out.Path().wstring(), [&](const std::string& name, uint32_t) {
                asked.push_back(name);
                if (c.asked.empty() || name != c.asked.back()) return Decision::kExtract;
                cancel = c.cancel;
                return c.last;
              }));
    EXPECT_EQ(c.asked, asked);
    EXPECT_EQ(c.present ? std::vector<std::wstring>{c.present} : std::vector<std::wstring>{},
              NamesIn(out.Path()));
    if (c.present) {
      EXPECT_EQ("MSCF", FileBytes(out.Path() / c.present));
    }
  }
}

// What is checked is what is extracted: while the CAB is open, others may read it but not write,
// rename or delete it; and a CAB someone holds open for writing is not opened at all.
TEST(CabExtractor, KeepsTheCabFromChangingWhileItIsOpen) {
  TempFolder scratch;
  const std::wstring cab = scratch / L"Brenvo.cab";
  ASSERT_TRUE(::CopyFileW(SampleCab(L"Brenvo.cab").c_str(), cab.c_str(), TRUE));
  {
    ScopedFile writer(::CreateFileW(cab.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsValid());
    CCabExtractor extractor;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION), extractor.Open(cab));
  }

  CCabExtractor extractor;
  ASSERT_EQ(S_OK, extractor.Open(cab));
  ScopedFile writer(::CreateFileW(cab.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.IsValid());
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());
  EXPECT_FALSE(::DeleteFileW(cab.c_str()));
  EXPECT_FALSE(::MoveFileW(cab.c_str(), (scratch / L"Other.cab").c_str()));
  ScopedFile reader(::CreateFileW(cab.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.IsValid());

  TempFolder out;
  ASSERT_EQ(S_OK, extractor.Extract(out.Path().wstring(), [](const std::string&, uint32_t) {
    return Decision::kExtract;
  }));
  EXPECT_TRUE(Sample(L"Brenvo.dll") == FileBytes(out.Path() / L"Brenvo.dll"));
  EXPECT_TRUE(Sample(L"BrenvoRes.dll") == FileBytes(out.Path() / L"BrenvoRes.dll"));
}

// A folder deeper than MAX_PATH, each level a long Korean name.
fs::path DeepFolder(const fs::path& base) {
  fs::path folder = base;
  for (const wchar_t syllable : {L'\uAC00', L'\uB098', L'\uB2E4', L'\uB77C'}) {
    folder /= std::wstring(70, syllable);
    EXPECT_TRUE(::CreateDirectoryW(Long(folder).c_str(), nullptr));
  }
  EXPECT_GT(folder.wstring().size(), static_cast<size_t>(MAX_PATH));
  return folder;
}

TEST(CabExtractor, OpensCabsUnderPathsOfAnyLength) {
  TempFolder scratch;
  const fs::path deep = DeepFolder(scratch.Path());
  const fs::path cab = deep / (std::wstring(70, L'\uCE74') + L".cab");
  ASSERT_TRUE(::CopyFileW(SampleCab(L"Brenvo.cab").c_str(), Long(cab).c_str(), TRUE));
  const fs::path out = deep / L"out";
  ASSERT_TRUE(::CreateDirectoryW(Long(out).c_str(), nullptr));

  wchar_t current[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(scratch.Path().c_str()));
  struct Case {
    const char* what;
    std::wstring cab;
  };
  const Case cases[] = {
      {"absolute", cab.wstring()},
      {"already in the long form", Long(cab)},
      {"relative to the current folder", fs::relative(cab, scratch.Path()).wstring()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CCabExtractor extractor;
    ASSERT_EQ(S_OK, extractor.Open(c.cab));
    EXPECT_EQ(kBrenvoMembers, extractor.Members());
    EXPECT_EQ(S_OK, extractor.Extract(out.wstring(), [](const std::string& name, uint32_t) {
      return name == "Brenvo.dll" ? Decision::kExtract : Decision::kSkip;
    }));
    EXPECT_TRUE(Sample(L"Brenvo.dll") == FileBytes(out / L"Brenvo.dll"));
    EXPECT_TRUE(::DeleteFileW(Long(out / L"Brenvo.dll").c_str()));
  }
  EXPECT_TRUE(::SetCurrentDirectoryW(current));
}

}  // namespace
