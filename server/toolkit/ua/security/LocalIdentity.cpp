#include "server/toolkit/ua/security/LocalIdentity.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

namespace zentarc::ua {

std::string localHostName() {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0 || host[0] == 0) return "localhost";
  return host;
}

CertificateRequest localCertificateRequest(const std::string& commonName, const std::string& organization,
                                           const std::string& applicationUri) {
  CertificateRequest r;
  r.commonName = commonName;
  r.organization = organization;
  r.applicationUri = applicationUri;
  r.dnsNames = {localHostName()};
  if (r.dnsNames[0] != "localhost") r.dnsNames.push_back("localhost");
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* a = list; a; a = a->ifa_next) {
      if (!a->ifa_addr) continue;
      char text[INET6_ADDRSTRLEN] = {};
      if (a->ifa_addr->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
      else if (a->ifa_addr->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr, text, sizeof text);
      else
        continue;
      // Link-local IPv6 addresses carry no meaning for a peer on another link.
      const std::string ip = text;
      if (ip.rfind("fe80", 0) == 0 || ip.find('%') != std::string::npos) continue;
      if (std::find(r.ipAddresses.begin(), r.ipAddresses.end(), ip) == r.ipAddresses.end()) r.ipAddresses.push_back(ip);
    }
    freeifaddrs(list);
  }
  if (r.ipAddresses.empty()) r.ipAddresses.push_back("127.0.0.1");
  return r;
}

}  // namespace zentarc::ua
