#include "tests/integration/PollingHarness.h"

#include "server/opc/ServerCreator.h"
#include "server/plc/PlcDevice.h"

namespace zentarc::testsupport {

namespace {

class CollectWarnings : public ConfigWarnings {
 public:
  explicit CollectWarnings(std::vector<std::string>& texts) : texts_(texts) {}
  void warning(std::string_view, std::string_view text) override { texts_.emplace_back(text); }

 private:
  std::vector<std::string>& texts_;
};

}  // namespace

void RecordingSink::sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) {
  std::lock_guard lock(mutex_);
  reports_.push_back({message, code, device ? device->name : std::string()});
}

std::vector<StatusReport> RecordingSink::reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

std::size_t RecordingSink::count(unsigned code) const {
  std::lock_guard lock(mutex_);
  std::size_t n = 0;
  for (const auto& r : reports_) n += r.code == code ? 1 : 0;
  return n;
}

bool RecordingSink::reported(unsigned code, const std::string& device) const {
  std::lock_guard lock(mutex_);
  for (const auto& r : reports_)
    if (r.message == WM_PLC_STATUS && r.code == code && r.device == device) return true;
  return false;
}

std::string tagXml(const std::string& name, const std::string& type, unsigned address, unsigned elements,
                   unsigned bit) {
  std::string extra;
  if (elements) extra += "<elements>" + std::to_string(elements) + "</elements>";
  if (bit) extra += "<databit>" + std::to_string(bit) + "</databit>";
  return "<tag><name>" + name + "</name><comment></comment><datatype>" + type + "</datatype>" + extra +
         "<address>" + std::to_string(address) + "</address><accessrights>READWRITE</accessrights></tag>\r\n";
}

std::string plcXml(const std::string& name, const std::string& address, const std::string& tags) {
  return "<PLC name=\"" + name + "\" IPaddress=\"" + address + "\">\r\n<tags>\r\n" + tags + "</tags>\r\n</PLC>\r\n";
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += 5) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

PollingHarness::PollingHarness()
    : queues(std::make_shared<ServerQueues>()),
      root(new SODaSNameSpaceRoot()),
      server(new SODaSServer(SOCmnPointer<SODaSCreator>(new ServerCreator(queues)))) {}

PollingHarness::~PollingHarness() {
  stop();
  server->removeAllGroups();
  thread.reset();
  for (auto& sim : sims) sim->stop();
}

bool PollingHarness::load(const std::string& plcElements) {
  const std::string file = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n<OPC_DA>\r\n" +
                           plcElements + "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
  CollectWarnings collect(warnings);
  return LoadConfiguration(dir.write("OPCZentarc.xml", file).string(), *root, devices, queues, collect) == 1 &&
         warnings.empty();
}

plcsim::Simulator& PollingHarness::simulate(const std::string& address, plcsim::Faults faults) {
  sims.push_back(std::make_unique<plcsim::Simulator>(plcsim::Options{.address = address, .faults = faults}));
  std::string error;
  if (!sims.back()->start(&error)) throw std::runtime_error("simulator on " + address + ": " + error);
  return *sims.back();
}

void PollingHarness::start(TickClock clock) {
  thread = std::make_unique<PollingService>(devices, *queues, sink, std::move(clock));
  thread->start();
}

void PollingHarness::stop() {
  if (thread) thread->stop();
}

PlcTag* PollingHarness::tag(const std::string& name) const {
  SOCmnPointer<SODaSTag> t = root->findTag(name);
  return dynamic_cast<PlcTag*>(t.get());  // the namespace keeps it
}

SOCmnPointer<SODaSGroup> PollingHarness::group(const std::string& name, std::uint32_t rate) {
  return server->addGroup(name, rate);
}

SOCmnPointer<SODaSItem> PollingHarness::activate(SODaSGroup& g, const std::string& tagName) {
  return g.addItem(SOCmnPointer<SODaSTag>::share(tag(tagName)), true);
}

bool PollingHarness::waitForQuality(const std::string& tagName, std::uint16_t quality, int timeoutMs) const {
  PlcTag* t = tag(tagName);
  return waitUntil(
      [&] {
        const SODaSCacheSnapshot s = t->getCache()->getSnapshot();
        return !s.waitingForInitialData && s.quality == quality;
      },
      timeoutMs);
}

std::uint32_t PollingHarness::blockRate(const std::string& tagName) {
  std::lock_guard lock(queues->queueLock);
  PlcTag* t = tag(tagName);
  if (t->unscheduled || !plcDeviceOf(*t)->HasCyclicBlock(t->pollBlock)) return 0;
  return t->pollBlock->updateRate;
}

std::size_t PollingHarness::blockCount(std::size_t device) {
  std::lock_guard lock(queues->queueLock);
  return devices.getIndex(device)->cyclicBlocks.size();
}

}  // namespace zentarc::testsupport
