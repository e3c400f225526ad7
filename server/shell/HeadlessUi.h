#pragma once
// The program without a display (or with --headless): message boxes and status lines go
// to the log; the no-PLC message ends the run as closing the window would.
#include <QObject>

#include "server/config/ErrorCatalogue.h"
#include "server/shell/ShellLog.h"
#include "server/shell/ShellUiLifecycle.h"

namespace zentarc::shell {

class HeadlessUi : public QObject, public ShellUiLifecycle {
 public:
  explicit HeadlessUi(ShellLog& log, const config::ErrorCatalogue& catalogue = config::ErrorCatalogue::Process());
  ~HeadlessUi() override;

  MessagePrompter& prompter() override { return prompter_; }
  void showMinimized() override;
  // A failing PLC is a warning in the log, a working one again a notice.
  void plcStatus(unsigned code, PlcDevice* device) override;
  void close() { closeNow(); }

 protected:
  void closeNow() override { windowDestroyed(); }

 private:
  ShellLog& log_;
  LogPrompter prompter_;
  const config::ErrorCatalogue& catalogue_;
};

}  // namespace zentarc::shell
