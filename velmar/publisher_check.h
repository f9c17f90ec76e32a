#pragma once

#include <windows.h>

#include <string>

#include "common/scoped_owner.h"
#include "velmar/trust_provider.h"

// Whether the installer program may be started: the system trusts the Authenticode signature
// embedded in the file (the file is as signed and its certificate chains to a trusted root; a
// signer certificate that has expired since is accepted when all else holds, revocation is not
// looked up) and the signer certificate that this verification validated names the maker as its
// subject, exactly. The file is opened for the check and, when it passes, held open shared for
// reading only, so that nobody can change, replace or delete it until the holder lets go.
class CPublisherCheck {
 public:
  static constexpr wchar_t kExpectedPublisher[] = L"TALVIK Information & Communication CO., Ltd.";

  explicit CPublisherCheck(ITrustProvider& trust) : trust_(trust) {}
  CPublisherCheck(const CPublisherCheck&) = delete;
  CPublisherCheck& operator=(const CPublisherCheck&) = delete;

  // True when the check passes; the file is held from then on. On failure nothing is held.
  [[nodiscard]] bool Check(const std::wstring& path);
  bool HoldsFile() const { return file_.IsValid(); }
  void Release() { file_.Reset(); }

  // What the last check found, for those who look from outside: the trust verification's result
  // (an HRESULT for a file that could not be opened), and the validated signer's subject (empty
  // when the signature was not trusted).
  LONG TrustResult() const { return trustResult_; }
  const std::wstring& Signer() const { return signer_; }

 private:
  ITrustProvider& trust_;
  ScopedFile file_;
  LONG trustResult_ = 0;
  std::wstring signer_;
};
