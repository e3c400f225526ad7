#pragma once
// The program without a display (or with --headless): message boxes and status lines go
// to the log; the no-PLC message ends the run as closing the window would.
#include <atomic>
#include <memory>
#include <string>

#include <QObject>

#include "server/plc/ErrorCatalogue.h"
#include "server/shell/ShellLog.h"
#include "server/shell/ShellUi.h"
#include "server/shell/StatusBridge.h"

namespace zentarc::shell {

class HeadlessUi : public QObject, public ShellUi {
 public:
  // catalogue: the texts of result codes; null for error.dat beside the program.
  explicit HeadlessUi(ShellLog& log, const plc::ErrorCatalogue* catalogue = nullptr);
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
  std::unique_ptr<plc::ErrorCatalogue> ownCatalogue_;
  const plc::ErrorCatalogue& catalogue_;
  StatusBridge bridge_;
  DeviceList* devices_ = nullptr;
  std::atomic<bool> gone_{false};
};

}  // namespace zentarc::shell
