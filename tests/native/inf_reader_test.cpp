#include "platform/core/inf_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Register = InfFileEntry::Register;

// An INF with one file a.dll whose section holds the given lines.
std::string OneFile(const std::string& sectionLines) {
  return "[Add.Code]\na.dll=a.dll\n[a.dll]\n" + sectionLines + "\n";
}

InfError ErrorOf(const std::string& inf) { return ParseCodeDownloadInf(inf).error; }

std::string Utf16(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(ParseCodeDownloadInf, ReadsEveryFieldOfATypicalInf) {
  const auto r = ParseCodeDownloadInf(
      "; Velmar update manager\r\n"
      "[version]\r\nsignature=\"$CHICAGO$\"\r\nAdvancedINF=2.0\r\n"
      "[Add.Code]\r\nVelmar.ocx=Velmar.ocx\r\nhelper.dll=HelperSection\r\n"
      "[Velmar.ocx]\r\nfile-win32-x86=thiscab\r\n"
      "clsid={5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E}\r\nFileVersion=1,0,3,29\r\n"
      "RegisterServer=yes\r\n"
      "[HelperSection]\r\nfile=http://example.com/helper.cab\r\nDestDir=11\r\n"
      "RegisterServer=NO\r\n");
  ASSERT_EQ(r.error, InfError::kNone) << r.detail;
  ASSERT_EQ(r.inf.files.size(), 2u);
  const InfFileEntry& main = r.inf.files[0];
  EXPECT_EQ(main.name, "Velmar.ocx");
  EXPECT_EQ(main.location, "thiscab");
  EXPECT_EQ(main.clsid, "{5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E}");
  EXPECT_TRUE(main.hasFileVersion);
  EXPECT_EQ(std::vector<uint16_t>(main.fileVersion, main.fileVersion + 4),
            (std::vector<uint16_t>{1, 0, 3, 29}));
  EXPECT_EQ(main.destDir, 0);
  EXPECT_EQ(main.registerServer, Register::kYes);
  const InfFileEntry& helper = r.inf.files[1];
  EXPECT_EQ(helper.name, "helper.dll");
  EXPECT_EQ(helper.location, "http://example.com/helper.cab");
  EXPECT_EQ(helper.clsid, "");
  EXPECT_FALSE(helper.hasFileVersion);
  EXPECT_EQ(helper.destDir, 11);
  EXPECT_EQ(helper.registerServer, Register::kNo);
  EXPECT_TRUE(r.inf.setupHooks.empty());
}

TEST(ParseCodeDownloadInf, FollowsInfLineSyntax) {
  // Case-insensitive names and keys, blanks, comments, mixed line ends, a text after ']', a
  // line without '=' and an empty value both meaning "section of the same name", continuation.
  const auto r = ParseCodeDownloadInf(
      "  [ add.code ] trailing\n"
      "\"a b.dll\" = ; section defaults to the name\r"
      "c.dll\n"
      "[A B.DLL]\rFILE = \" ThisCab \" \n"
      "File-Win32-X86 = \"ThisCAB\" ; comment\n"
      "file-win32-x86 = ignore\n"
      "clsid = \"{5a1e2c3d-0b4f-4c6a-9e8d-7f6a5b4c3d2e}\"\n"
      "[c.dll]\nfile=\"http://h/x;y=\"\"q\"\"\"\n"
      "fileversion = 1 , 2 \\\n  ,3\n");
  ASSERT_EQ(r.error, InfError::kNone) << r.detail;
  ASSERT_EQ(r.inf.files.size(), 2u);
  EXPECT_EQ(r.inf.files[0].name, "a b.dll");
  EXPECT_EQ(r.inf.files[0].location, "thiscab");  // first win32 key wins over file= and later ones
  EXPECT_EQ(r.inf.files[0].clsid, "{5a1e2c3d-0b4f-4c6a-9e8d-7f6a5b4c3d2e}");
  EXPECT_EQ(r.inf.files[1].location, "http://h/x;y=\"q\"");
  EXPECT_EQ(std::vector<uint16_t>(r.inf.files[1].fileVersion, r.inf.files[1].fileVersion + 4),
            (std::vector<uint16_t>{1, 2, 3, 0}));

  // Quoted blanks are kept, so the keyword is not recognised; a repeated header merges.
  const auto merged =
      ParseCodeDownloadInf(OneFile("file=\" thiscab\"\n[b.dll]\n[ADD.CODE]\nb.dll"));
  ASSERT_EQ(merged.error, InfError::kNone) << merged.detail;
  EXPECT_EQ(merged.inf.files[0].location, " thiscab");
  EXPECT_EQ(merged.inf.files[1].name, "b.dll");
}

TEST(ParseCodeDownloadInf, SubstitutesStringsOnce) {
  const auto r = ParseCodeDownloadInf(
      "[Add.Code]\na.dll=%Sec%\n[Real]\nfile=%URL%/%unknown%/100%%/%loop%\nclsid=%id%\n"
      "[strings]\nsec=Real\nurl=\"http://h\"\nUrl=second\nloop=%loop%%url%\n"
      "ID={00000000-0000-0000-0000-0000000000AB}\n");
  ASSERT_EQ(r.error, InfError::kNone) << r.detail;
  EXPECT_EQ(r.inf.files[0].location, "http://h/%unknown%/100%/%loop%%url%");
  EXPECT_EQ(r.inf.files[0].clsid, "{00000000-0000-0000-0000-0000000000AB}");
  // Substitution that multiplies text is stopped.
  std::string big = "[Strings]\nx=" + std::string(60000, 'x') + "\n";
  std::string many;
  for (int i = 0; i < 500; ++i) many += "%x%";
  EXPECT_EQ(ErrorOf(OneFile("file=" + many + "\n" + big)), InfError::kTooLarge);
}

TEST(ParseCodeDownloadInf, DecodesTheThreeEncodings) {
  const auto utf16 = ParseCodeDownloadInf(Utf16(
      u"[Add.Code]\r\ncaf\u00E9\U0001F600.dll=\r\n[CAF\u00E9\U0001F600.DLL]\r\nfile=thiscab"));
  ASSERT_EQ(utf16.error, InfError::kNone) << utf16.detail;
  EXPECT_EQ(utf16.inf.files[0].name, "caf\xC3\xA9\xF0\x9F\x98\x80.dll");
  const auto utf8 = ParseCodeDownloadInf("\xEF\xBB\xBF[Add.Code]\na\xC3\xA9.dll\n[a\xC3\xA9.dll]");
  ASSERT_EQ(utf8.error, InfError::kNone) << utf8.detail;
  EXPECT_EQ(utf8.inf.files[0].name, "a\xC3\xA9.dll");
  // 8-bit bytes stay as they are: fine in a URL, not in a file name.
  EXPECT_EQ(ParseCodeDownloadInf(OneFile("file=http://h/\xE9")).inf.files[0].location,
            "http://h/\xE9");
  EXPECT_EQ(ErrorOf("[Add.Code]\na\xE9.dll\n[a\xE9.dll]\n"), InfError::kBadFileName);

  for (const std::string& bad :
       {Utf16(u"[Add.Code]\n\xD800x"), Utf16(u"[Add.Code]\n\xDC00"), Utf16(u"[Add.Code]\xD83D"),
        Utf16(u"[Add.Code]\n") + "x", Utf16(std::u16string(u"[Add.Code]\na\0", 13)),
        std::string("[Add.Code]\na.dll\0", 17), std::string("\xEF\xBB\xBF[Add.Code]\n\xC0\xAF")}) {
    EXPECT_EQ(ErrorOf(bad), InfError::kBadEncoding);
  }
}

TEST(ParseCodeDownloadInf, ChecksFileSectionValues) {
  const std::vector<std::pair<std::string, InfError>> cases = {
      {"clsid=", InfError::kNone},
      {"clsid=5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E", InfError::kBadClsid},
      {"clsid={5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2G}", InfError::kBadClsid},
      {"clsid={5A1E2C3D0-B4F-4C6A-9E8D-7F6A5B4C3D2E}", InfError::kBadClsid},
      {"clsid={5A1E2C3D-0B4F-4C6A-9E8D-7F6A5B4C3D2E}x", InfError::kBadClsid},
      {"FileVersion=", InfError::kNone},
      {"FileVersion=65535,65535,65535,65535", InfError::kNone},
      {"FileVersion=65536", InfError::kBadVersion},
      {"FileVersion=1,2,3,4,5", InfError::kBadVersion},
      {"FileVersion=1,,3", InfError::kBadVersion},
      {"FileVersion=1,2,", InfError::kBadVersion},
      {"FileVersion=-1", InfError::kBadVersion},
      {"FileVersion=1.2", InfError::kBadVersion},
      {"FileVersion=99999999999999999999", InfError::kBadVersion},
      {"DestDir=", InfError::kNone},
      {"DestDir=10", InfError::kNone},
      {"DestDir=12", InfError::kBadDestDir},
      {"DestDir=10,sub", InfError::kBadDestDir},
      {"DestDir=..\\x", InfError::kBadDestDir},
      {"DestDir=-1", InfError::kBadDestDir},
      {"DestDir=010", InfError::kBadDestDir},
      {"hook=inner", InfError::kHooksUnsupported},
      {"HOOK=", InfError::kHooksUnsupported},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(ErrorOf(OneFile(line)), expected) << line;

  EXPECT_EQ(ParseCodeDownloadInf(OneFile("RegisterServer=Maybe")).inf.files[0].registerServer,
            Register::kDefault);
  EXPECT_EQ(ParseCodeDownloadInf(OneFile("registerserver=YES")).inf.files[0].registerServer,
            Register::kYes);
}

TEST(ParseCodeDownloadInf, RefusesUnusableStructure) {
  EXPECT_EQ(ErrorOf(""), InfError::kNoAddCode);
  EXPECT_EQ(ErrorOf("[Version]\nsignature=x\n"), InfError::kNoAddCode);
  EXPECT_EQ(ErrorOf("[Add.Code]\n; nothing\n[a.dll]\n"), InfError::kNoAddCode);
  EXPECT_EQ(ErrorOf("[Add.Code]\n..\\evil.dll=x\n[x]\n"), InfError::kBadFileName);
  EXPECT_EQ(ErrorOf("[Add.Code]\n=x\n[x]\n"), InfError::kBadFileName);
  EXPECT_EQ(ErrorOf("[Add.Code]\nCON.dll=x\n[x]\n"), InfError::kBadFileName);
  EXPECT_EQ(ErrorOf("[Add.Code]\na.dll=x\nA.DLL=x\n[x]\n"), InfError::kDuplicateFile);
  EXPECT_EQ(ErrorOf("[Add.Code]\na.dll=x\n[a.dll]\n"), InfError::kMissingSection);
  // A header without ']' still ends the section before it.
  EXPECT_EQ(ErrorOf("[Add.Code]\n[broken\nb.dll\n[b.dll]\n"), InfError::kNoAddCode);

  const auto hooks = ParseCodeDownloadInf("[Setup Hooks]\nh1=h1\nrun\n[Add.Code]\na.dll\n[a.dll]");
  EXPECT_EQ(hooks.error, InfError::kHooksUnsupported);
  EXPECT_EQ(hooks.inf.setupHooks, (std::vector<std::string>{"h1", "run"}));
  EXPECT_TRUE(hooks.inf.files.empty());

  std::string files = "[Add.Code]\n";
  for (int i = 0; i < 64; ++i) files += "f" + std::to_string(i) + ".dll=s\n";
  EXPECT_EQ(ErrorOf(files + "[s]\n"), InfError::kNone);
  EXPECT_EQ(ErrorOf(files + "extra.dll=s\n[s]\n"), InfError::kTooManyFiles);

  std::string padded = OneFile("");
  padded += std::string(64 * 1024 - padded.size(), ';');
  EXPECT_EQ(ErrorOf(padded), InfError::kNone);
  EXPECT_EQ(ErrorOf(padded + ";"), InfError::kTooLarge);
}

TEST(ParseCodeDownloadInf, DetailNamesTheLineAndStaysPrintable) {
  const auto r = ParseCodeDownloadInf("[Add.Code]\n\nn\x01" + std::string(300, 'n') + "=s\n");
  EXPECT_EQ(r.error, InfError::kBadFileName);
  EXPECT_EQ(r.detail.rfind("line 3:", 0), 0u) << r.detail;
  EXPECT_LT(r.detail.size(), 150u);
  for (const char c : r.detail) EXPECT_GE(static_cast<unsigned char>(c), 0x20);
  EXPECT_NE(ParseCodeDownloadInf(OneFile("DestDir=12")).detail.find("DestDir=\"12\""),
            std::string::npos);
  EXPECT_STRNE(InfErrorText(InfError::kHooksUnsupported), InfErrorText(InfError::kNone));
}

}  // namespace
