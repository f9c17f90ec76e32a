#include "velmar/publisher_check.h"

#include <softpub.h>

#include "common/win_error.h"

namespace {

// One verification of the file. The verification's state (the signer, its certificate and its
// chain) lives until the session goes, when it is closed.
class TrustSession {
 public:
  TrustSession(ITrustProvider& trust, const std::wstring& path, HANDLE file, DWORD flags)
      : trust_(trust) {
    fileInfo_.pcwszFilePath = path.c_str();
    fileInfo_.hFile = file;
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &fileInfo_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    // Offline: nothing is fetched to build the chain or to learn of revocations.
    data_.dwProvFlags = flags | WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  }
  TrustSession(const TrustSession&) = delete;
  TrustSession& operator=(const TrustSession&) = delete;
  ~TrustSession() {
    if (data_.hWVTStateData == nullptr) return;
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    (void)trust_.VerifyTrust(data_);  // only frees the state
  }

  LONG Verify() { return trust_.VerifyTrust(data_); }

  // The signer the verification looked at, and its certificate; null when there is none.
  CRYPT_PROVIDER_SGNR* Signer() const {
    if (data_.hWVTStateData == nullptr) return nullptr;
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    return ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
  }
  PCCERT_CONTEXT SignerCertificate() const {
    CRYPT_PROVIDER_SGNR* signer = Signer();
    if (signer == nullptr) return nullptr;
    CRYPT_PROVIDER_CERT* certificate = ::WTHelperGetProvCertFromChain(signer, 0);
    return certificate != nullptr ? certificate->pCert : nullptr;
  }

 private:
  ITrustProvider& trust_;
  WINTRUST_FILE_INFO fileInfo_ = {sizeof(fileInfo_)};
  WINTRUST_DATA data_ = {sizeof(data_)};
};

std::wstring SubjectName(PCCERT_CONTEXT certificate) {
  const DWORD size =
      ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (size <= 1) return {};
  std::wstring name(size, L'\0');
  const DWORD written = ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr,
                                             name.data(), size);
  name.resize(written > 0 ? written - 1 : 0);
  return name;
}

}  // namespace

bool CPublisherCheck::Check(const std::wstring& path) {
  file_.Reset();
  signer_.clear();
  ScopedFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    trustResult_ = HResultFromLastError();
    return false;
  }
  TrustSession session(trust_, path, file.Get(), 0);
  trustResult_ = session.Verify();
  bool trusted = trustResult_ == ERROR_SUCCESS;
  if (trustResult_ == CERT_E_EXPIRED) {
    // Expired since signing: still good when the chain holds in every other respect and the
    // file is as it was signed.
    const CRYPT_PROVIDER_SGNR* signer = session.Signer();
    trusted = signer != nullptr && signer->pChainContext != nullptr &&
              trust_.ChainPolicyError(signer->pChainContext,
                                      CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS) == 0 &&
              TrustSession(trust_, path, file.Get(), WTD_HASH_ONLY_FLAG).Verify() == ERROR_SUCCESS;
  }
  if (!trusted) return false;
  const PCCERT_CONTEXT certificate = session.SignerCertificate();
  if (certificate == nullptr) return false;
  signer_ = SubjectName(certificate);
  if (signer_ != kExpectedPublisher) return false;
  file_ = std::move(file);
  return true;
}
