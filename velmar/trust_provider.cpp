#include "velmar/trust_provider.h"

#include <softpub.h>

#include "common/win_error.h"

namespace {

class SystemTrust final : public ITrustProvider {
 public:
  LONG VerifyTrust(WINTRUST_DATA& data) override {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  }

  LONG ChainPolicyError(PCCERT_CHAIN_CONTEXT chain, DWORD flags) override {
    CERT_CHAIN_POLICY_PARA policy = {sizeof(policy)};
    policy.dwFlags = flags;
    CERT_CHAIN_POLICY_STATUS status = {sizeof(status)};
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy,
                                            &status)) {
      return HResultFromLastError();
    }
    return static_cast<LONG>(status.dwError);
  }
};

}  // namespace

ITrustProvider& SystemTrustProvider() {
  static SystemTrust trust;
  return trust;
}
