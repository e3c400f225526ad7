// The whole server core on a simulated PLC, for OPC UA interoperability tests: plcsim on
// 127.0.5.1, one PlcDevice with PlcTags of all fifteen types, its PLC worker, our toolkit
// entry with the server's creator, and the UA serving backend with the PLCs' folders and
// diagnostics. With --plant ADDRESS a second PLC "Press/2" joins on that address (tags Speed
// and Diagnostics), and PLC1 gets a tag named like Press/2's State diagnostic.
// Commands on stdin:
//   fail        the PLC stops answering (silent), so reads end in communication errors
//   recover     the PLC answers again
//   down2, up2  the second PLC's simulator stops (connections are refused) or starts again
//   shutdown R  shutdownAllClients(R)
//   quit        stop and exit
// Prints "READY <port>" once serving.
#include <atomic>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "server/opc/PlcTag.h"
#include "server/opc/ServerCreator.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/DevicePlantView.h"
#include "server/plc/GeLink.h"
#include "server/plc/PollingService.h"
#include "server/toolkit/SODaSEntry.h"
#include "server/toolkit/ua/backend/UaServingBackend.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;

namespace {

class QuietSink : public PlcStatusSink {
 public:
  void sendMessage(PlcStatusMessage, unsigned code, PlcDevice*) override {
    std::cerr << "UaPlantHost: PLC status " << code << "\n";
  }
};

uint16_t hi(uint32_t v) { return static_cast<uint16_t>(v >> 16); }
uint16_t lo(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFF); }
uint32_t bitsOf(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

struct TagSpec {
  const char* name;
  VARTYPE vt;
  uint16_t address;
  uint16_t bit;
  uint16_t count;
  uint32_t rights;
  const char* comment;
};

// The same values as the test host's, laid out in registers as the PLC holds them.
void fillRegisters(plcsim::Simulator& sim) {
  sim.setRegister(0, static_cast<uint16_t>(int16_t{-1234}));
  sim.setRegister(1, 54321);
  const uint32_t i4 = static_cast<uint32_t>(-123456789);
  sim.setRegisters(2, {hi(i4), lo(i4)});
  sim.setRegisters(4, {hi(3000000000u), lo(3000000000u)});
  sim.setRegisters(6, {hi(bitsOf(1.5f)), lo(bitsOf(1.5f))});
  sim.setRegister(8, 0x0008);  // bit 3
  sim.setRegisters(9, {0x4548, 0x4C4C, 0x004F, 0x0000});  // "HELLO" and NUL padding
  sim.setRegisters(13, {0x02FF, 0x04FD});                 // -1, 2, -3, 4
  sim.setRegisters(15, {0x0201, 0xFA03});                 // 1, 2, 3, 250
  sim.setRegisters(17, {0xFFFF, 0x0000, 0x0001});
  sim.setRegisters(20, {0x0001, 0x0002, 0xFFFF});
  const uint32_t m = static_cast<uint32_t>(-100000);
  sim.setRegisters(23, {hi(m), lo(m), hi(100000), lo(100000)});
  sim.setRegisters(27, {0, 1, hi(4000000000u), lo(4000000000u)});
  sim.setRegisters(31, {hi(bitsOf(0.5f)), lo(bitsOf(0.5f)), hi(bitsOf(-2.25f)), lo(bitsOf(-2.25f))});
  sim.setRegister(35, 0x0015);  // true, false, true, false, true
  sim.setRegister(42, 7);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 28451;
  std::string plcAddress = "127.0.5.1";
  std::string plantAddress;  // the second PLC's, when given
  std::string errorFile;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--port")) port = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--plc")) plcAddress = argv[i + 1];
    if (!std::strcmp(argv[i], "--plant")) plantAddress = argv[i + 1];
    if (!std::strcmp(argv[i], "--errors")) errorFile = argv[i + 1];
  }

  plcsim::Simulator sim(plcsim::Options{.address = plcAddress, .logLimit = 0});
  std::string error;
  if (!sim.start(&error)) {
    std::cerr << "UaPlantHost: simulator on " << plcAddress << ": " << error << "\n";
    return 1;
  }
  fillRegisters(sim);
  std::unique_ptr<plcsim::Simulator> sim2;
  if (!plantAddress.empty()) {
    sim2 = std::make_unique<plcsim::Simulator>(plcsim::Options{.address = plantAddress, .logLimit = 0});
    if (!sim2->start(&error)) {
      std::cerr << "UaPlantHost: simulator on " << plantAddress << ": " << error << "\n";
      return 1;
    }
    sim2->setRegister(0, 1500);
  }
  plc::ErrorCatalogue catalogue;
  if (!errorFile.empty() && catalogue.Load(errorFile) != plc::ErrorCatalogue::kLoaded)
    std::cerr << "UaPlantHost: cannot read " << errorFile << "\n";

  auto queues = std::make_shared<ServerQueues>();
  DeviceList devices;
  QuietSink sink;
  SOCmnPointer<PlcDevice> device(new PlcDevice("PLC1", plcAddress));
  devices.add(device.get());
  SOCmnPointer<PlcDevice> device2;
  if (sim2) {
    device2 = SOCmnPointer<PlcDevice>(new PlcDevice("Press/2", plantAddress));
    devices.add(device2.get());
  }

  SOCmnPointer<SODaSEntry> entry(new SODaSEntry());
  entry->setCreator(SOCmnPointer<SODaSCreator>(new ServerCreator(queues)));
  SOCmnPointer<SODaSNameSpaceRoot> root = entry->getNameSpaceRoot();
  const TagSpec specs[] = {
      {"I2", VT_I2, 0, 0, 0, 3, "signed 16 bit"}, {"UI2", VT_UI2, 1, 0, 0, 3, ""},
      {"I4", VT_I4, 2, 0, 0, 3, ""}, {"UI4", VT_UI4, 4, 0, 0, 3, ""},
      {"R4", VT_R4, 6, 0, 0, 3, ""}, {"BOOL", VT_BOOL, 8, 3, 0, 3, ""},
      {"STR", VT_BSTR, 9, 0, 8, 3, ""}, {"A_I1", VT_ARRAY | VT_I1, 13, 0, 4, 3, ""},
      {"A_UI1", VT_ARRAY | VT_UI1, 15, 0, 4, 3, ""}, {"A_I2", VT_ARRAY | VT_I2, 17, 0, 3, 3, ""},
      {"A_UI2", VT_ARRAY | VT_UI2, 20, 0, 3, 3, ""}, {"A_I4", VT_ARRAY | VT_I4, 23, 0, 2, 3, ""},
      {"A_UI4", VT_ARRAY | VT_UI4, 27, 0, 2, 3, ""}, {"A_R4", VT_ARRAY | VT_R4, 31, 0, 2, 3, ""},
      {"A_BOOL", VT_ARRAY | VT_BOOL, 35, 0, 5, 3, ""}, {"Counter", VT_I4, 40, 0, 0, 1, ""},
      {"ReadOnly", VT_I2, 42, 0, 0, 1, ""}, {"WriteOnly", VT_I2, 43, 0, 0, 2, ""}};
  for (const TagSpec& s : specs) {
    SOCmnPointer<PlcTag> tag(new PlcTag(s.name, s.rights, s.vt, s.comment, s.address, s.bit, s.count,
                                        device.get(), queues));
    root->addLeaf(tag.get());
  }
  if (device2) {
    const TagSpec second[] = {{"Speed", VT_I2, 0, 0, 0, 1, "press speed"}, {"Diagnostics", VT_I2, 1, 0, 0, 1, ""}};
    for (const TagSpec& s : second)
      root->addLeaf(SOCmnPointer<PlcTag>(new PlcTag(s.name, s.rights, s.vt, s.comment, s.address, s.bit, s.count,
                                                    device2.get(), queues)).get());
    root->addLeaf(SOCmnPointer<PlcTag>(new PlcTag("Press/2/Diagnostics/State", 1, VT_I2, "", 44, 0, 0,
                                                  device.get(), queues)).get());
  }

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
    std::cerr << "UaPlantHost: serving did not start: " << backend->errorText() << "\n";
    polling.stop();
    return 1;
  }
  std::cout << "READY " << port << std::endl;

  // The PLC program: a counter in R41/R42 that counts every 50 ms.
  std::atomic<bool> stop{false};
  std::thread program([&] {
    uint32_t n = 0;
    for (int pass = 0; !stop && pass < 20 * 60 * 10; ++pass) {  // at most ten minutes
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      ++n;
      sim.setRegisters(40, {hi(n), lo(n)});
    }
  });

  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "fail") sim.setFaults({.silent = true});
    else if (line == "recover") sim.setFaults({});
    else if (line == "down2" && sim2) sim2->stop();
    else if (line == "up2" && sim2) sim2->start();
    else if (line.rfind("shutdown", 0) == 0) entry->shutdownAllClients(line.size() > 9 ? line.substr(9) : "");
    else if (line == "quit") break;
    std::cout << "OK " << line << std::endl;
  }
  stop = true;
  program.join();
  entry->shutdownAllClients("test over");
  polling.stop();
  entry->terminate();
  sim.stop();
  if (sim2) sim2->stop();
  return 0;
}
