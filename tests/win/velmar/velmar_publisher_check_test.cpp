// The installer's publisher check on the test signing set (stand-ins signed at build time):
// integrity and the signer's name for real; verdicts on the chain, which Wine does not give
// (it trusts any self-signed root and ignores expiry), steered.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

#include "common/scoped_owner.h"
#include "tests/win/temp_folder.h"
#include "tests/win/test_files.h"
#include "tests/win/velmar/hand_off_fakes.h"
#include "velmar/publisher_check.h"

namespace {

using testing::ElementsAre;

std::wstring Installer(const std::wstring& variant) {
  return InBuildTree(L"velmar_handoff/" + variant + L"/KV3Installer.exe");
}

const wchar_t kOtherName[] = L"Kovira Test Publisher Ltd.";
const wchar_t kMakerOtherCase[] = L"TALVIK Information & Communication Co., Ltd.";

TEST(PublisherCheck, TrustsOnlyAnIntactFileSignedByTheMaker) {
  const struct {
    std::wstring path;
    bool passes;
    LONG trust;
    std::wstring signer;
  } cases[] = {
      {Installer(L"maker"), true, ERROR_SUCCESS, CPublisherCheck::kExpectedPublisher},
      {Installer(L"spaced dir"), true, ERROR_SUCCESS, CPublisherCheck::kExpectedPublisher},
      {Installer(L"other"), false, ERROR_SUCCESS, kOtherName},
      {Installer(L"case"), false, ERROR_SUCCESS, kMakerOtherCase},
      {Installer(L"unsigned"), false, TRUST_E_NOSIGNATURE, L""},
      {Installer(L"modified"), false, TRUST_E_BAD_DIGEST, L""},
      {Installer(L"absent"), false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L""},
      {L"", false, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L""},
  };
  for (const auto& c : cases) {
    CPublisherCheck check(SystemTrustProvider());
    EXPECT_EQ(check.Check(c.path), c.passes) << c.path;
    EXPECT_EQ(check.TrustResult(), c.trust) << c.path;
    EXPECT_EQ(check.Signer(), c.signer) << c.path;
    EXPECT_EQ(check.HoldsFile(), c.passes) << c.path;
  }
}

TEST(PublisherCheck, ChainVerdictsDecideAndAnExpiredSignerIsKeptOnlyWhenAllElseHolds) {
  const LONG kTrusted = ERROR_SUCCESS;
  const struct {
    const wchar_t* variant;
    std::optional<LONG> verify;
    std::optional<LONG> chain;
    bool passes;
    std::vector<std::wstring> calls;
  } cases[] = {
      {L"maker", CERT_E_UNTRUSTEDROOT, std::nullopt, false, {L"verify", L"close"}},
      {L"maker", CERT_E_CHAINING, std::nullopt, false, {L"verify", L"close"}},
      {L"maker", CERT_E_REVOKED, std::nullopt, false, {L"verify", L"close"}},
      {L"maker", TRUST_E_EXPLICIT_DISTRUST, std::nullopt, false, {L"verify", L"close"}},
      // Expired: the chain is looked at again without the time, then the file's digest.
      {L"maker",
       CERT_E_EXPIRED,
       kTrusted,
       true,
       {L"verify", L"chain ignoring time", L"verify hash", L"close", L"close"}},
      {L"expired",
       CERT_E_EXPIRED,
       kTrusted,
       true,
       {L"verify", L"chain ignoring time", L"verify hash", L"close", L"close"}},
      {L"maker",
       CERT_E_EXPIRED,
       CERT_E_UNTRUSTEDROOT,
       false,
       {L"verify", L"chain ignoring time", L"close"}},
      // Wine's own chain policy knows the self-signed root is no trusted one.
      {L"expired",
       CERT_E_EXPIRED,
       std::nullopt,
       false,
       {L"verify", L"chain ignoring time", L"close"}},
      {L"case",
       CERT_E_EXPIRED,
       kTrusted,
       false,
       {L"verify", L"chain ignoring time", L"verify hash", L"close", L"close"}},
      // A modified file gives no validated signer, whatever the verdict says.
      {L"modified", CERT_E_EXPIRED, kTrusted, false, {L"verify", L"close"}},
  };
  for (const auto& c : cases) {
    SteeredTrust trust;
    trust.verifyResult = c.verify;
    trust.chainResult = c.chain;
    CPublisherCheck check(trust);
    EXPECT_EQ(check.Check(Installer(c.variant)), c.passes) << c.variant << " " << *c.verify;
    EXPECT_EQ(trust.calls, c.calls) << c.variant << " " << *c.verify;
    EXPECT_EQ(check.HoldsFile(), c.passes);
  }
}

TEST(PublisherCheck, APassedFileIsHeldAgainstChangesUntilReleased) {
  TempFolder folder(L"velmar publisher");
  const std::wstring copy = folder / L"KV3Installer.exe";
  ASSERT_TRUE(::CopyFileW(Installer(L"maker").c_str(), copy.c_str(), FALSE));
  CPublisherCheck check(SystemTrustProvider());
  ASSERT_TRUE(check.Check(copy));

  ScopedFile writer(::CreateFileW(copy.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(writer.IsValid());
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(::DeleteFileW(copy.c_str()));
  EXPECT_FALSE(::MoveFileW(copy.c_str(), (folder / L"moved.exe").c_str()));
  ScopedFile reader(::CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(reader.IsValid()) << "reading, as starting the program does, is allowed";
  reader.Reset();

  check.Release();
  writer.Reset(::CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(writer.IsValid());
}

}  // namespace
