#pragma once
// What the server counts of its sessions and requests since it started, for the standard
// diagnostics a monitoring tool reads. Thread-safe.
#include <atomic>
#include <cstdint>

#include "server/toolkit/ua/StatusCodes.h"

namespace zentarc::ua {

struct ServerCounters {
  std::atomic<uint32_t> cumulatedSessions{0};
  std::atomic<uint32_t> securityRejectedSessions{0};  // CreateSession or ActivateSession refused for security
  std::atomic<uint32_t> rejectedSessions{0};          // refused for any reason
  std::atomic<uint32_t> sessionTimeouts{0};
  std::atomic<uint32_t> sessionAborts{0};             // closed by the server: made room, revoked
  std::atomic<uint32_t> securityRejectedRequests{0};
  std::atomic<uint32_t> rejectedRequests{0};          // answered with a ServiceFault
};

// Whether a refusal says the client's security (certificate, signature, identity) failed.
inline bool securityRefusal(StatusCode status) {
  switch (status.value) {
    case Status::BadCertificateInvalid: case Status::BadSecurityChecksFailed:
    case Status::BadCertificatePolicyCheckFailed: case Status::BadCertificateTimeInvalid:
    case Status::BadCertificateUriInvalid: case Status::BadCertificateUseNotAllowed:
    case Status::BadCertificateUntrusted: case Status::BadUserAccessDenied:
    case Status::BadIdentityTokenInvalid: case Status::BadIdentityTokenRejected:
    case Status::BadNonceInvalid: case Status::BadSecurityModeRejected:
    case Status::BadSecurityPolicyRejected: case Status::BadUserSignatureInvalid:
    case Status::BadApplicationSignatureInvalid:
      return true;
    default:
      return false;
  }
}

}  // namespace zentarc::ua
