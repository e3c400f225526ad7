#pragma once
// The server child of the OPC UA benchmarks: the toolkit with tags T0..T<n-1> (VT_I4, readable
// and writable) behind the UA serving backend on 127.0.0.1, serving until "quit" on its
// standard input. It prints "READY <port>" when serving, as spawn() in ChildProcess.h waits for.
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/SODaSTag.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"

namespace zentarc::bench {

struct UaBenchServer {
  SOCmnPointer<SODaSEntry> entry;
  std::vector<SOCmnPointer<SODaSTag>> tags;

  // Tags T0..T<tagCount-1>, tag i holding value(i).
  UaBenchServer(int tagCount, const std::function<int32_t(int)>& value) : entry(new SODaSEntry()) {
    entry->setCreator(SOCmnPointer<SODaSCreator>(new SODaSCreator()));
    SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
    for (int i = 0; i < tagCount; ++i) {
      SOCmnPointer<SODaSTag> t(new SODaSTag());
      t->setName("T" + std::to_string(i));
      t->setAccessRights(OPC_READABLE | OPC_WRITEABLE);
      t->setNativeDatatype(VT_I4);
      t->getCache()->setValue(SOCmnVariant::fromI4(value(i)));
      root->addLeaf(t.get());
      tags.push_back(t);
    }
  }

  static zentarc::ua::UaServingBackend::Options options(int port) {
    zentarc::ua::UaServingBackend::Options o;
    o.endpointUrl = "opc.tcp://127.0.0.1:" + std::to_string(port);
    o.security = zentarc::ua::ServerSecurity::unsecured();
    return o;
  }

  // Starts serving with these options and says "READY <port>"; false (with the reason on
  // stderr) when the server does not start.
  bool start(int port, const zentarc::ua::UaServingBackend::Options& options) {
    backend = std::make_shared<zentarc::ua::UaServingBackend>(options);
    entry->setServingBackend(backend);
    if (!entry->start()) {
      std::cerr << "serve: " << backend->errorText() << "\n";
      return false;
    }
    std::cout << "READY " << port << std::endl;
    return true;
  }

  // Reads commands until "quit" or the end of the input; every other line goes to onLine.
  static void untilQuit(const std::function<void(const std::string&)>& onLine = {}) {
    std::string line;
    while (std::getline(std::cin, line) && line != "quit")
      if (onLine) onLine(line);
  }

  void stop() { entry->terminate(); }

  std::shared_ptr<zentarc::ua::UaServingBackend> backend;
};

}  // namespace zentarc::bench
