// The whole server core with tags of every memory area, for the node-opcua areas test:
// plcsim on --plc (127.0.13.1), %AI sized to 100 words, a configuration file loaded by the
// server's own loader (tags in R, AI, AQ, I, Q, T, M, G, S, SA, SB and SC), its PLC worker and
// UA serving with the PLC's folder and diagnostics. Commands on stdin, each answered with
// "OK <line>":
//   cpu STATE      the simulated CPU's state: run, stop or faulted
//   set NAME=V     a word (AI5=3) or a bit (I17=0) of the simulated PLC
//   peek NAME      prints "VALUE NAME=V" (a word, or a bit 0/1) first
//   quit           stop and exit
// Prints "READY <port>" once serving.
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/ServerCreator.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/DevicePlantView.h"
#include "server/plc/PollingService.h"
#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"
#include "tools/plcsim/MemoryNames.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using configfile::MemoryArea;

namespace {

class QuietSink : public PlcStatusSink {
 public:
  void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice*) override {
    std::cerr << "UaAreasHost: message " << message << " code " << code << "\n";
  }
};

class ErrWarnings : public ConfigWarnings {
 public:
  void warning(std::string_view, std::string_view text) override { std::cerr << "UaAreasHost: " << text << "\n"; }
};

std::string tag(const std::string& name, const std::string& type, const std::string& memory, unsigned address,
                const std::string& extra = "", const std::string& access = "READWRITE") {
  return "<tag><name>" + name + "</name><comment>" + memory + "</comment><datatype>" + type + "</datatype>" + extra +
         "<memory>" + memory + "</memory><address>" + std::to_string(address) + "</address><accessrights>" + access +
         "</accessrights></tag>\r\n";
}

std::string configuration(const std::string& plcAddress) {
  const std::string e = "<elements>";
  const std::string tags =
      tag("R_I2", "VT_I2", "R", 1) + tag("AI_I2", "VT_I2", "AI", 5) + tag("AI_R4", "VT_R4", "AI", 6) +
      tag("AI_BOOL", "VT_BOOL", "AI", 9, "<databit>3</databit>") + tag("AQ_UI2", "VT_UI2", "AQ", 1) +
      tag("AQ_I4_ARR", "VT_I4 ARRAY", "AQ", 10, e + "2</elements>") + tag("I_BOOL", "VT_BOOL", "I", 17) +
      tag("I_WORD", "VT_UI2", "I", 25) + tag("I_BITS", "VT_BOOL ARRAY", "I", 3, e + "12</elements>") +
      tag("Q_BOOL", "VT_BOOL", "Q", 3) + tag("Q_BITS", "VT_BOOL ARRAY", "Q", 10, e + "5</elements>") +
      tag("Q_BYTES", "VT_UI1 ARRAY", "Q", 33, e + "3</elements>") + tag("T_BOOL", "VT_BOOL", "T", 1) +
      tag("M_I4", "VT_I4", "M", 1) + tag("M_STR", "VT_BSTR", "M", 33, e + "5</elements>") +
      tag("G_R4", "VT_R4", "G", 9) + tag("S_BOOL", "VT_BOOL", "S", 1) + tag("SA_BOOL", "VT_BOOL", "SA", 2) +
      tag("SB_UI2", "VT_UI2", "SB", 9) + tag("SC_BOOL", "VT_BOOL", "SC", 8) + tag("AI_NEAR", "VT_I2", "AI", 100) +
      tag("AI_PAST", "VT_I2", "AI", 102);
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n<PLC name=\"Areas\" "
         "IPaddress=\"" + plcAddress + "\">\r\n<tags>\r\n" + tags + "</tags>\r\n</PLC>\r\n</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

void fillMemory(plcsim::Simulator& sim) {
  sim.setRegister(0, static_cast<std::uint16_t>(-5));
  sim.setWord(MemoryArea::AI, 4, 100);
  sim.setWord(MemoryArea::AI, 5, 0x3FC0);  // 1.5f, high half first
  sim.setWord(MemoryArea::AI, 8, 0x0008);
  sim.setWord(MemoryArea::AI, 99, 77);
  sim.setBit(MemoryArea::I, 16, true);
  sim.setBytes(MemoryArea::I, 3, {0x34, 0x12});
  sim.setBit(MemoryArea::I, 4, true);   // I5: element 2 of I_BITS
  sim.setBit(MemoryArea::I, 13, true);  // I14: element 11
  sim.setBit(MemoryArea::Q, 1, true);   // Q2 and Q4 beside Q_BOOL
  sim.setBit(MemoryArea::Q, 3, true);
  sim.setBytes(MemoryArea::Q, 7, {0xFF});  // the byte after Q_BYTES
  sim.setBit(MemoryArea::T, 0, true);
  sim.setBytes(MemoryArea::M, 0, {0x01, 0x00, 0x02, 0x00});
  sim.setBytes(MemoryArea::M, 4, {'H', 'E', 'L', 'L', 'O'});
  sim.setBytes(MemoryArea::G, 1, {0x80, 0x3F, 0x00, 0x00});
  sim.setBit(MemoryArea::S, 0, true);
  sim.setBytes(MemoryArea::SB, 1, {0x02, 0x01});
  sim.setBit(MemoryArea::SC, 7, true);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 28460;
  std::string plcAddress = "127.0.13.1";
  std::string errorFile;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--port")) port = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--plc")) plcAddress = argv[i + 1];
    if (!std::strcmp(argv[i], "--errors")) errorFile = argv[i + 1];
  }

  plcsim::Simulator sim(plcsim::Options{.address = plcAddress, .logLimit = 0});
  sim.setAreaSize(MemoryArea::AI, 100);
  std::string error;
  if (!sim.start(&error)) {
    std::cerr << "UaAreasHost: simulator on " << plcAddress << ": " << error << "\n";
    return 1;
  }
  fillMemory(sim);
  plc::ErrorCatalogue catalogue;
  if (!errorFile.empty() && catalogue.Load(errorFile) != plc::ErrorCatalogue::kLoaded)
    std::cerr << "UaAreasHost: cannot read " << errorFile << "\n";

  auto queues = std::make_shared<ServerQueues>();
  DeviceList devices;
  QuietSink sink;
  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  entry->setCreator(SOCmnPointer<SODaSCreator>(new ServerCreator(queues)));
  SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
  ErrWarnings warnings;
  if (LoadConfigurationBytes(configuration(plcAddress), "areas.xml", *root, devices, queues, warnings) != 1) return 1;

  PollingService polling(devices, *queues, sink);
  polling.start();
  ua::UaServingBackend::Options options;
  options.endpointUrl = "opc.tcp://127.0.0.1:" + std::to_string(port);
  options.shutdownGrace = std::chrono::milliseconds(1500);
  options.plant = std::make_shared<DevicePlantView>(devices, &catalogue);
  options.security = ua::ServerSecurity::unsecured();
  auto backend = std::make_shared<ua::UaServingBackend>(options);
  entry->setServingBackend(backend);
  if (!entry->start()) {
    std::cerr << "UaAreasHost: serving did not start: " << backend->errorText() << "\n";
    polling.stop();
    return 1;
  }
  std::cout << "READY " << port << std::endl;

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "quit") break;
    if (line == "cpu run") sim.setCpuState(plc::CpuState::RunEnabled);
    else if (line == "cpu stop") sim.setCpuState(plc::CpuState::StopDisabled);
    else if (line == "cpu faulted") sim.setCpuState(plc::CpuState::StopFaulted);
    else if (line.rfind("set ", 0) == 0) {
      if (const auto a = plcsim::parseMemoryAssignment(line.substr(4), &error)) {
        if (configfile::isBitArea(a->area)) sim.setBit(a->area, a->index, a->value != 0);
        else sim.setWord(a->area, a->index, a->value);
      }
    } else if (line.rfind("peek ", 0) == 0) {
      const std::string name = line.substr(5);
      if (const auto n = plcsim::parseMemoryName(name)) {
        const unsigned v = configfile::isBitArea(n->area) ? sim.bit(n->area, n->index) : sim.word(n->area, n->index);
        std::cout << "VALUE " << name << "=" << v << std::endl;
      }
    }
    std::cout << "OK " << line << std::endl;
  }
  entry->shutdownAllClients("test over");
  polling.stop();
  entry->terminate();
  sim.stop();
  return 0;
}
