#pragma once
// What the status window and a run without a display share: the PLC workers'
// messages through the status bridge, the message loop, and the end of the window. Once
// the window is gone, messages return at once and closes are no longer posted, so shut-down
// never waits on a loop that has stopped reading.
#include <atomic>

#include "server/shell/ShellUi.h"
#include "server/shell/StatusBridge.h"

class QObject;

namespace zentarc::shell {

class ShellUiLifecycle : public ShellUi {
 public:
  ~ShellUiLifecycle() override;

  PlcStatusSink& statusSink() override { return bridge_; }
  void attach(DeviceList* devices, QueueLock* queueLock) override;
  int exec() override;
  void postClose() override;
  void destroyWindow() override;
  bool gone() const { return gone_; }

  // The PLC workers' messages, on the loop's thread. The no-PLC message warns,
  // then closes as the user would.
  virtual void plcStatus(unsigned code, PlcDevice* device) = 0;
  // A PLC's CPU changed its run state (the state code of its status word).
  virtual void plcCpuState(unsigned state, PlcDevice* device) = 0;
  void noPlc();

 protected:
  // `context` is the derived object itself: the messages and closes run on its thread.
  explicit ShellUiLifecycle(QObject* context);
  // Closes on the loop's thread: the window closes itself, a headless run ends its loop.
  virtual void closeNow() = 0;
  // The window is destroyed: its end ends the message loop with code 0 (once).
  void windowDestroyed();

  DeviceList* devices_ = nullptr;
  QueueLock* queueLock_ = nullptr;

 private:
  QObject* context_;
  StatusBridge bridge_;
  std::atomic<bool> gone_{false};
};

}  // namespace zentarc::shell
