// A small OPC UA server for interoperability tests: our toolkit entry with the UA serving
// backend and a few tags of every type, whose device is simulated here. Commands on stdin:
//   fail        the PLC stops answering (caches BadCommunicationError, writes fail)
//   recover     the PLC answers again
//   shutdown R  shutdownAllClients(R)
//   quit        stop serving and exit
// Prints "READY <port>" once serving.
// Options: --port N; --security LIST (policy names, comma-separated; default None) with
// --pki DIR (made on first use), --anonymous off|read|write (default write) and
// --user NAME:ROLE:PASSWORD (any number, into DIR/../users) for the security tests.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/SODaSTag.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"
#include "server/toolkit/ua/security/LocalIdentity.h"
#include "server/toolkit/ua/security/UserDirectory.h"

namespace {

std::atomic<bool> plcFailed{false};

// A tag whose "device" is this process: reads return the cache, writes store into it.
class HostTag : public SODaSTag {
 public:
  void handleRequest(SODaSRequest* request) override {
    if (request->getOperation() == SODASREQUEST_OPERATION_READ) {
      if (request->isDeviceRead()) {
        auto cache = getCache();
        if (plcFailed) cache->setQuality(OPC_QUALITY_COMM_FAILURE);
        else cache->setValue(cache->getValue());
      }
      request->complete(S_OK);
      return;
    }
    if (plcFailed) {
      request->complete(E_FAIL, true, OPC_QUALITY_COMM_FAILURE);
      return;
    }
    request->complete(S_OK, false, OPC_QUALITY_UNCERTAIN, true);
    getCache()->setQuality(OPC_QUALITY_GOOD);
  }
};

SOCmnPointer<HostTag> addTag(SODaSNameSpaceRoot& root, const char* name, SOCmnVariant value,
                             uint32_t access = OPC_READABLE | OPC_WRITEABLE,
                             const char* comment = nullptr) {
  SOCmnPointer<HostTag> tag(new HostTag());
  tag->setName(name);
  tag->setAccessRights(access);
  tag->setNativeDatatype(value.vt());
  if (comment) {
    SOCmnPointer<SODaSProperty> p(new SODaSProperty(SODAS_PROPERTY_ITEM_DESCRIPTION));
    p->setConstantValue(SOCmnVariant::fromUtf8(comment));
    tag->addProperty(p);
  }
  tag->getCache()->setValue(value);
  tag->getCache()->setQuality(OPC_QUALITY_GOOD);
  root.addLeaf(tag.get());
  return tag;
}

template <class E>
SOCmnVariant arr(VARTYPE vt, std::vector<E> v) {
  return SOCmnVariant::fromArray<E>(vt, std::span<const E>(v));
}

}  // namespace

int main(int argc, char** argv) {
  int port = 28450;
  std::string security = "None", pki, anonymous = "write";
  std::vector<std::string> users;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--port")) port = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--security")) security = argv[i + 1];
    if (!std::strcmp(argv[i], "--pki")) pki = argv[i + 1];
    if (!std::strcmp(argv[i], "--anonymous")) anonymous = argv[i + 1];
    if (!std::strcmp(argv[i], "--user")) users.push_back(argv[i + 1]);
  }

  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator()));
  entry->setRegisterInfo("Tarvelle.ZentarcOPCServerDA.1", "Tarvelle.ZentarcOPCServerDA",
                         "Tarvelle G.E. Tcp/Ip OPC DA Server", nullptr);
  entry->setVersionInfo(1, 10, 100);
  SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();

  std::vector<SOCmnPointer<HostTag>> tags;
  tags.push_back(addTag(*root, "I2", SOCmnVariant::fromI2(-1234), 3, "signed 16 bit"));
  tags.push_back(addTag(*root, "UI2", SOCmnVariant::fromUI2(54321)));
  tags.push_back(addTag(*root, "I4", SOCmnVariant::fromI4(-123456789)));
  tags.push_back(addTag(*root, "UI4", SOCmnVariant::fromUI4(3000000000u)));
  tags.push_back(addTag(*root, "R4", SOCmnVariant::fromR4(1.5f)));
  tags.push_back(addTag(*root, "BOOL", SOCmnVariant::fromBool(true)));
  tags.push_back(addTag(*root, "STR", SOCmnVariant::fromBstr(std::u16string(u"HELLO\0\0\0", 8))));
  tags.push_back(addTag(*root, "A_I1", arr<int8_t>(VT_I1, {-1, 2, -3, 4})));
  tags.push_back(addTag(*root, "A_UI1", arr<uint8_t>(VT_UI1, {1, 2, 3, 250})));
  tags.push_back(addTag(*root, "A_I2", arr<int16_t>(VT_I2, {-1, 0, 1})));
  tags.push_back(addTag(*root, "A_UI2", arr<uint16_t>(VT_UI2, {1, 2, 65535})));
  tags.push_back(addTag(*root, "A_I4", arr<int32_t>(VT_I4, {-100000, 100000})));
  tags.push_back(addTag(*root, "A_UI4", arr<uint32_t>(VT_UI4, {1, 4000000000u})));
  tags.push_back(addTag(*root, "A_R4", arr<float>(VT_R4, {0.5f, -2.25f})));
  tags.push_back(addTag(*root, "A_BOOL", arr<VARIANT_BOOL>(VT_BOOL, {-1, 0, -1, 0, -1})));
  tags.push_back(addTag(*root, "Counter", SOCmnVariant::fromI4(0), OPC_READABLE));
  tags.push_back(addTag(*root, "ReadOnly", SOCmnVariant::fromI2(7), OPC_READABLE));
  tags.push_back(addTag(*root, "WriteOnly", SOCmnVariant::fromI2(0), OPC_WRITEABLE));
  HostTag* counter = tags[15].get();

  zentarc::ua::UaServingBackend::Options options;
  options.endpointUrl = "opc.tcp://127.0.0.1:" + std::to_string(port);
  options.shutdownGrace = std::chrono::milliseconds(1500);
  zentarc::ua::ServerSecurity& sec = options.security;
  sec.policies.clear();
  for (size_t at = 0; at <= security.size();) {
    const size_t comma = security.find(',', at);
    const std::string name = security.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    const zentarc::ua::SecurityPolicy* p = zentarc::ua::securityPolicyByName(name);
    if (!p) {
      std::cerr << "UaTestHost: unknown policy " << name << "\n";
      return 2;
    }
    sec.policies.push_back(p);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  sec.anonymous = anonymous == "off"    ? zentarc::ua::AnonymousAccess::Off
                  : anonymous == "read" ? zentarc::ua::AnonymousAccess::Read
                                        : zentarc::ua::AnonymousAccess::Write;
  if (!pki.empty()) {
    sec.pki = std::make_shared<zentarc::ua::Pki>(pki, "OPCZentarc");
    std::string error;
    if (!sec.pki->loadOrCreateOwn(zentarc::ua::localCertificateRequest("OPCZentarc", "Tarvelle", "urn:OPCZentarc"), error)) {
      std::cerr << "UaTestHost: " << error << "\n";
      return 1;
    }
    const std::string usersFile = pki + ".users";
    for (const std::string& u : users) {
      const size_t a = u.find(':'), b = u.find(':', a + 1);
      const auto role = zentarc::ua::parseUserRole(u.substr(a + 1, b - a - 1));
      if (a == std::string::npos || b == std::string::npos || !role ||
          !zentarc::ua::UserDirectory::addUser(usersFile, u.substr(0, a), *role, u.substr(b + 1), error)) {
        std::cerr << "UaTestHost: bad --user " << u << " " << error << "\n";
        return 2;
      }
    }
    if (!users.empty()) sec.users = std::make_shared<zentarc::ua::UserDirectory>(usersFile);
    sec.log = [](const std::string& line) { std::cerr << "UaTestHost: " << line << std::endl; };
  }
  auto backend = std::make_shared<zentarc::ua::UaServingBackend>(options);
  entry->setServingBackend(backend);
  if (!entry->start()) {
    std::cerr << "UaTestHost: serving did not start: " << backend->errorText() << "\n";
    return 1;
  }
  std::cout << "READY " << port << std::endl;

  // The "polling thread": the counter changes every 50 ms; a failed PLC shows on every tag.
  std::atomic<bool> stop{false};
  std::thread poller([&] {
    int32_t n = 0;
    bool wasFailed = false;
    for (int pass = 0; !stop && pass < 20 * 60 * 10; ++pass) {  // at most ten minutes
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const bool failed = plcFailed;
      if (failed) {
        for (auto& t : tags) t->getCache()->setQuality(OPC_QUALITY_COMM_FAILURE);
      } else {
        if (wasFailed)
          for (auto& t : tags) t->getCache()->setQuality(OPC_QUALITY_GOOD);
        counter->getCache()->setValue(SOCmnVariant::fromI4(++n));
      }
      wasFailed = failed;
    }
  });

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "fail") plcFailed = true;
    else if (line == "recover") plcFailed = false;
    else if (line.rfind("shutdown", 0) == 0) entry->shutdownAllClients(line.size() > 9 ? line.substr(9) : "");
    else if (line == "quit") break;
    std::cout << "OK " << line << std::endl;
  }
  stop = true;
  poller.join();
  entry->terminate();
  return 0;
}
