// The update descriptor and the version check: descriptors read by the system's XML parser from
// files, components registered under a key standing in for HKEY_CLASSES_ROOT, and sample modules
// whose version is 1,0,0,1.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tests/win/velmar/redirected_classes.h"
#include "velmar/update_descriptor.h"
#include "velmar/version_check.h"

namespace {

const wchar_t kSample[] = L"{5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E}";     // registered, 1,0,0,1
const wchar_t kNoVersion[] = L"{5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2F}";  // a file without one
const wchar_t kAbsent[] = L"{5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D30}";     // not registered

class VelmarDescriptor : public testing::Test {
 protected:
  void SetUp() override {
    classes_.Register(kSample, InBuildTree(L"samples/Brenvo.dll"));
    folder_.Touch(L"plain.dll");
    classes_.Register(kNoVersion, folder_ / L"plain.dll");
  }

  std::wstring Write(const std::wstring& name, const std::string& xml) {
    std::ofstream(std::filesystem::path(folder_ / name), std::ios::binary) << xml;
    return folder_ / name;
  }

  static std::string Component(const wchar_t* clsid, const char* version,
                               const char* element = "COMPONENT") {
    std::string text = std::string("<") + element + " CLSID=\"";
    for (const wchar_t* c = clsid; *c != 0; ++c) text.push_back(static_cast<char>(*c));
    return text + "\" Version=\"" + version + "\"/>";
  }
  static std::string Descriptor(const std::string& mode, const std::string& components) {
    const std::string options =
        mode.empty() ? "" : "<Options><UpdateMode>" + mode + "</UpdateMode></Options>";
    return "<?xml version=\"1.0\"?>\n<Kovira>" + options + "<Update>" + components +
           "</Update></Kovira>";
  }

  RedirectedClasses classes_;
  TempFolder folder_{L"velmar descriptor"};
  CVersionCheck versions_{classes_.Root()};
};

TEST_F(VelmarDescriptor, ComponentsAreCheckedAgainstTheirRegisteredVersionUnderTheMode) {
  const struct {
    const char* name;
    std::string xml;
    DescriptorOutcome outcome;
    UpdateMode mode;
  } cases[] = {
      {"equal", Descriptor("", Component(kSample, "1, 0, 0, 1")),
       DescriptorOutcome::kNothingToUpdate, UPDATE_MODE_NEWER},
      {"installed lower", Descriptor("", Component(kSample, "1,0,0,2")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"installed higher", Descriptor("", Component(kSample, "1,0,0,0")),
       DescriptorOutcome::kNothingToUpdate, UPDATE_MODE_NEWER},
      {"not same", Descriptor("notsame", Component(kSample, "1,0,0,0")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NOTSAME},
      {"always", Descriptor("Always", Component(kSample, "1,0,0,1")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_ALWAYS},
      {"not exist, registered", Descriptor("NOTEXIST", Component(kSample, "9,0,0,0")),
       DescriptorOutcome::kNothingToUpdate, UPDATE_MODE_NOTEXIST},
      {"not exist, absent", Descriptor("NOTEXIST", Component(kAbsent, "1,0,0,0")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NOTEXIST},
      {"not exist, no version", Descriptor("NOTEXIST", Component(kNoVersion, "1,0,0,0")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NOTEXIST},
      {"dots", Descriptor("", Component(kSample, "1.0.0.1")), DescriptorOutcome::kUpdateNeeded,
       UPDATE_MODE_NEWER},
      {"lower-case element", Descriptor("", Component(kSample, "1,0,0,2", "component")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"prefixed element",
       "<Kovira><Update xmlns:k=\"urn:k\">" + Component(kSample, "1,0,0,2", "k:Component") +
           "</Update></Kovira>",
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"lower-case attribute",
       "<Kovira><Update><COMPONENT clsid=\"{5A1E2C3D-0B4F-4C6A-9E8D-"
       "7F6A5B4C3D2E}\" Version=\"1,0,0,1\"/></Update></Kovira>",
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"no braces",
       "<Kovira><Update><COMPONENT CLSID=\"5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E\" "
       "Version=\"1,0,0,1\"/></Update></Kovira>",
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"only other elements", Descriptor("", "<Note/><Info CLSID=\"x\"/>"),
       DescriptorOutcome::kNothingToUpdate, UPDATE_MODE_NEWER},
      {"no Update children", Descriptor("ALWAYS", ""), DescriptorOutcome::kNoComponents,
       UPDATE_MODE_ALWAYS},
      {"second needs it",
       Descriptor("", Component(kSample, "1,0,0,1") + "<Note/>" + Component(kAbsent, "1")),
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_NEWER},
      {"options before the mode",
       "<Kovira><Options><UpdateConfirm>yes</UpdateConfirm><OpenPage Mode=\"x\"><OnError>e"
       "</OnError></OpenPage><UpdateMode>ALWAYS</UpdateMode></Options><Update>" +
           Component(kSample, "1,0,0,1") + "</Update></Kovira>",
       DescriptorOutcome::kUpdateNeeded, UPDATE_MODE_ALWAYS},
  };
  for (const auto& c : cases) {
    CUpdateDescriptor descriptor(versions_);
    EXPECT_EQ(descriptor.Process(Write(L"case.xml", c.xml)), c.outcome) << c.name;
    EXPECT_EQ(descriptor.Mode(), c.mode) << c.name;
  }
}

TEST_F(VelmarDescriptor, SourcesThatDoNotLoadFindNoComponents) {
  const std::wstring broken = Write(L"broken.xml", "<Kovira><Update><COMPONENT CLSID=\"x\"/>");
  const std::wstring text = L"<Kovira><Update><COMPONENT/></Update></Kovira>";
  for (const std::wstring& source : {std::wstring(), broken, text, folder_ / L"absent.xml"}) {
    CUpdateDescriptor descriptor(versions_);
    EXPECT_EQ(descriptor.Process(source), DescriptorOutcome::kNoComponents) << source;
    EXPECT_EQ(descriptor.Mode(), UPDATE_MODE_NEWER);
  }
}

// The mode the file names would make the registered component need an update: read, it would
// say so; left alone (or the document refused for its DTD), it cannot.
TEST_F(VelmarDescriptor, ExternalEntitiesAreNeverFetched) {
  std::ofstream(std::filesystem::path(folder_ / L"mode.txt")) << "ALWAYS";
  const std::wstring source =
      Write(L"external.xml",
            "<?xml version=\"1.0\"?>\n<!DOCTYPE Kovira [<!ENTITY mode SYSTEM "
            "\"mode.txt\">]>\n<Kovira><Options><UpdateMode>&mode;</UpdateMode>"
            "</Options><Update>" +
                Component(kSample, "1,0,0,1") + "</Update></Kovira>");
  CUpdateDescriptor descriptor(versions_);
  EXPECT_NE(descriptor.Process(source), DescriptorOutcome::kUpdateNeeded);
  EXPECT_EQ(descriptor.Mode(), UPDATE_MODE_NEWER);
}

TEST_F(VelmarDescriptor, HugeDescriptorsEndInAnOutcome) {
  std::string many;
  for (int i = 0; i < 50000; ++i) many += "<Note n=\"" + std::to_string(i) + "\"/>";
  const std::wstring longList =
      Write(L"long.xml", Descriptor("", many + Component(kSample, "1,0,0,2")));
  const std::wstring hugeAttribute = Write(
      L"attribute.xml", Descriptor("", "<COMPONENT CLSID=\"{" + std::string(4 << 20, 'A') +
                                           "}\" Version=\"" + std::string(1 << 20, '9') + "\"/>"));
  const DWORD start = ::GetTickCount();
  CUpdateDescriptor first(versions_);
  EXPECT_EQ(first.Process(longList), DescriptorOutcome::kUpdateNeeded);
  CUpdateDescriptor second(versions_);
  EXPECT_EQ(second.Process(hugeAttribute), DescriptorOutcome::kUpdateNeeded);
  EXPECT_LT(::GetTickCount() - start, 30000u);
}

TEST_F(VelmarDescriptor, SaveCopyWritesTheDocumentAsParsedToTheTemporaryFolder) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring expected = std::wstring(temp) + L"\\KV3TempInstaller.xml";
  std::ofstream(std::filesystem::path(expected)) << "left from before";
  const std::string xml =
      Descriptor("", "\n  " + Component(kAbsent, "1,0,0,0") + "\n  <Note>  spaced  </Note>\n");
  CUpdateDescriptor descriptor(versions_);
  ASSERT_EQ(descriptor.Process(Write(L"saved.xml", xml)), DescriptorOutcome::kUpdateNeeded);
  EXPECT_EQ(descriptor.SaveCopy(), expected) << "two separators before the name";
  std::ifstream saved(std::filesystem::path(expected), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(saved)), {});
  saved.close();
  EXPECT_NE(text.find("<Note>  spaced  </Note>"), std::string::npos) << text;
  EXPECT_NE(text.find("\n  <COMPONENT"), std::string::npos) << "white space kept";
  EXPECT_EQ(text.find("left from before"), std::string::npos);
  ::DeleteFileW(expected.c_str());

  CUpdateDescriptor unloaded(versions_);
  EXPECT_EQ(unloaded.SaveCopy(), L"") << "nothing loaded, nothing saved";
}

TEST_F(VelmarDescriptor, ServerPathsAreReadExpandedAndUnquoted) {
  const std::wstring sample = InBuildTree(L"samples/Brenvo.dll");
  ::SetEnvironmentVariableW(L"KOVIRA_SAMPLES", InBuildTree(L"samples").c_str());
  const struct {
    const wchar_t* clsid;
    std::wstring value;
    DWORD type;
    std::optional<std::wstring> path;
    std::optional<std::wstring> version;
  } cases[] = {
      {L"{00000000-0000-0000-0000-0000000000A1}", sample, REG_SZ, sample, L"1,0,0,1"},
      {L"{00000000-0000-0000-0000-0000000000A2}", L"%KOVIRA_SAMPLES%\\Brenvo.dll", REG_EXPAND_SZ,
       sample, L"1,0,0,1"},
      {L"{00000000-0000-0000-0000-0000000000A3}", L"\"" + sample + L"\"", REG_SZ, sample,
       L"1,0,0,1"},
      {L"{00000000-0000-0000-0000-0000000000A4}", L"\"%KOVIRA_SAMPLES%\\Brenvo.dll\"",
       REG_EXPAND_SZ, sample, L"1,0,0,1"},
      // A REG_SZ value is no template: its references stay as written.
      {L"{00000000-0000-0000-0000-0000000000A5}", L"%KOVIRA_SAMPLES%\\Brenvo.dll", REG_SZ,
       L"%KOVIRA_SAMPLES%\\Brenvo.dll", std::nullopt},
      {L"{00000000-0000-0000-0000-0000000000A6}", folder_ / L"absent.dll", REG_SZ,
       folder_ / L"absent.dll", std::nullopt},
      {L"{00000000-0000-0000-0000-0000000000A7}", L"\"", REG_SZ, L"\"", std::nullopt},
      {L"{00000000-0000-0000-0000-0000000000A8}", L"", REG_SZ, L"", std::nullopt},
  };
  for (const auto& c : cases) classes_.Register(c.clsid, c.value, c.type);
  for (const auto& c : cases) {
    EXPECT_EQ(versions_.ServerPath(c.clsid), c.path) << c.clsid;
    EXPECT_EQ(versions_.InstalledVersion(c.clsid), c.version) << c.clsid;
  }
  ::SetEnvironmentVariableW(L"KOVIRA_SAMPLES", nullptr);
}

TEST_F(VelmarDescriptor, RegistrationsThatCannotBeReadNeedAnUpdate) {
  const std::wstring numeric = L"{00000000-0000-0000-0000-0000000000B1}";
  RegKey key;
  ASSERT_EQ(key.Create(classes_.Root(), L"CLSID\\" + numeric + L"\\InprocServer32"), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteDword(L"", 1), ERROR_SUCCESS);
  const std::wstring noValue = L"{00000000-0000-0000-0000-0000000000B2}";
  ASSERT_EQ(key.Create(classes_.Root(), L"CLSID\\" + noValue + L"\\InprocServer32"), ERROR_SUCCESS);
  const std::wstring tooLong = L"{00000000-0000-0000-0000-0000000000B3}";
  classes_.Register(tooLong, std::wstring(CVersionCheck::kMaxPathLength + 1, L'x'));
  for (const std::wstring& clsid : {numeric, noValue, tooLong, std::wstring(kAbsent)}) {
    EXPECT_EQ(versions_.ServerPath(clsid), std::nullopt) << clsid;
    EXPECT_TRUE(versions_.NeedsUpdate(clsid, L"0", UPDATE_MODE_NOTEXIST)) << clsid;
  }
  // Texts that name no class, or none at all; a ProgID passes as a class but is no key.
  for (const std::optional<std::wstring>& clsid :
       {std::optional<std::wstring>(), std::optional<std::wstring>(L""),
        std::optional<std::wstring>(L"not a class"),
        std::optional<std::wstring>(L"Msxml2.DOMDocument")}) {
    EXPECT_TRUE(versions_.NeedsUpdate(clsid, L"0", UPDATE_MODE_NOTEXIST));
  }
  // A missing required version is the empty text: one field against the installed four.
  EXPECT_TRUE(versions_.NeedsUpdate(std::wstring(kSample), std::nullopt, UPDATE_MODE_NEWER));
  EXPECT_FALSE(versions_.NeedsUpdate(std::wstring(kSample), std::nullopt, UPDATE_MODE_NOTEXIST));
}

}  // namespace
