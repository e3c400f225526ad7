#pragma once
// What an application certificate made on this machine names: the application URI, this
// host's name and "localhost", and every address of its network interfaces.
#include <string>

#include "server/toolkit/ua/security/Certificate.h"

namespace zentarc::ua {

CertificateRequest localCertificateRequest(const std::string& commonName, const std::string& organization,
                                           const std::string& applicationUri);
std::string localHostName();

}  // namespace zentarc::ua
