#pragma once

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

// The platform's trust verification, behind a seam so that tests can steer its verdicts (Wine
// accepts any self-signed root, so a chain that does not reach a trusted root cannot be made
// there for real).
class ITrustProvider {
 public:
  virtual ~ITrustProvider() = default;
  // WinVerifyTrust with WINTRUST_ACTION_GENERIC_VERIFY_V2 and no window.
  virtual LONG VerifyTrust(WINTRUST_DATA& data) = 0;
  // The error the Authenticode chain policy finds in chain under the given policy flags
  // (CERT_CHAIN_POLICY_*); 0 when it finds none.
  virtual LONG ChainPolicyError(PCCERT_CHAIN_CONTEXT chain, DWORD flags) = 0;
};

// WinVerifyTrust and CertVerifyCertificateChainPolicy.
ITrustProvider& SystemTrustProvider();
