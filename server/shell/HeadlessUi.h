#pragma once
// The program without a display (or with --headless): message boxes and status lines go
// to the log; the no-PLC message ends the run as closing the window would.
#include <atomic>
#include <string>

#include <QObject>

#include "server/config/ErrorCatalogue.h"
#include "server/shell/ShellLog.h"
#include "server/shell/ShellUi.h"
#include "server/shell/StatusBridge.h"

namespace zentarc::shell {

class HeadlessUi : public QObject, public ShellUi {
 public:
  explicit HeadlessUi(ShellLog& log, const config::ErrorCatalogue& catalogue = config::ErrorCatalogue::Process());
  ~HeadlessUi() override;

  MessagePrompter& prompter() override { return prompter_; }
  PlcStatusSink& statusSink() override { return bridge_; }
  void attach(DeviceList* devices, QueueLock* queueLock) override;
  void showMinimized() override;
  int exec() override;
  void postClose() override;
  void destroyWindow() override;

  void plcStatus(unsigned code, PlcDevice* device);
  void noPlc();
  void close();

 private:
  ShellLog& log_;
  LogPrompter prompter_;
  const config::ErrorCatalogue& catalogue_;
  StatusBridge bridge_;
  DeviceList* devices_ = nullptr;
  std::atomic<bool> gone_{false};
};

}  // namespace zentarc::shell
