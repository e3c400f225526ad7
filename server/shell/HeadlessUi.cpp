#include "server/shell/HeadlessUi.h"

#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusText.h"

namespace zentarc::shell {

HeadlessUi::HeadlessUi(ShellLog& log, const plc::ErrorCatalogue* catalogue)
    : ShellUiLifecycle(this),
      log_(log),
      prompter_(log),
      ownCatalogue_(catalogue ? nullptr : loadDefaultCatalogue()),
      catalogue_(catalogue ? *catalogue : *ownCatalogue_) {}

HeadlessUi::~HeadlessUi() { destroyWindow(); }

void HeadlessUi::showMinimized() {
  log_.line(std::string(kDescription) + " running without a window; PLC status follows here");
}

void HeadlessUi::plcStatus(unsigned code, PlcDevice* device) {
  if (device)
    log_.line(code == 0 ? LogPriority::Notice : LogPriority::Warning, statusLogLine(code, *device, catalogue_));
}

void HeadlessUi::plcCpuState(unsigned state, PlcDevice* device) {
  if (device)
    log_.line(plc::isCpuStateWarning(state) ? LogPriority::Warning : LogPriority::Notice, cpuStateLogLine(state, *device));
}

}  // namespace zentarc::shell
