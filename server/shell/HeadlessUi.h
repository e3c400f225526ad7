#pragma once
// The program without a display (or with --headless): message boxes and status lines go
// to the log; the no-PLC message ends the run as closing the window would.
#include <memory>

#include <QObject>

#include "server/plc/ErrorCatalogue.h"
#include "server/shell/ShellLog.h"
#include "server/shell/ShellUiLifecycle.h"

namespace zentarc::shell {

class HeadlessUi : public QObject, public ShellUiLifecycle {
 public:
  // catalogue: the texts of result codes; null for error.dat beside the program.
  explicit HeadlessUi(ShellLog& log, const plc::ErrorCatalogue* catalogue = nullptr);
  ~HeadlessUi() override;

  MessagePrompter& prompter() override { return prompter_; }
  const plc::ErrorCatalogue& catalogue() const override { return catalogue_; }
  void showMinimized() override;
  // A failing PLC is a warning in the log, a working one again a notice.
  void plcStatus(unsigned code, PlcDevice* device) override;
  void plcCpuState(unsigned state, PlcDevice* device) override;
  void close() { closeNow(); }

 protected:
  void closeNow() override { windowDestroyed(); }

 private:
  ShellLog& log_;
  LogPrompter prompter_;
  std::unique_ptr<plc::ErrorCatalogue> ownCatalogue_;
  const plc::ErrorCatalogue& catalogue_;
};

}  // namespace zentarc::shell
