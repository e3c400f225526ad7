#include "server/shell/HeadlessUi.h"

#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusText.h"

namespace zentarc::shell {

HeadlessUi::HeadlessUi(ShellLog& log, const config::ErrorCatalogue& catalogue)
    : ShellUiLifecycle(this), log_(log), prompter_(log), catalogue_(catalogue) {}

HeadlessUi::~HeadlessUi() { destroyWindow(); }

void HeadlessUi::showMinimized() {
  log_.line(std::string(kDescription) + " running without a window; PLC status follows here");
}

void HeadlessUi::plcStatus(unsigned code, PlcDevice* device) {
  if (device)
    log_.line(code == 0 ? LogPriority::Notice : LogPriority::Warning, statusLogLine(code, *device, catalogue_));
}

}  // namespace zentarc::shell
