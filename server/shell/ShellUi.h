#pragma once
// What the program's entry needs of its user interface: the status window, or the log of
// a run without a display. Both run the message loop on the process thread.
#include <memory>

#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/ErrorCatalogue.h"
#include "server/plc/PlcStatusSink.h"
#include "server/shell/MessagePrompter.h"
#include "server/toolkit/BrokerView.h"

namespace zentarc::shell {

class ShellUi {
 public:
  virtual ~ShellUi() = default;

  virtual MessagePrompter& prompter() = 0;
  // The texts of the result codes it shows; the OPC UA diagnostics show the same.
  virtual const plc::ErrorCatalogue& catalogue() const = 0;
  // Where the PLC workers report (synchronously, on the process thread).
  virtual PlcStatusSink& statusSink() = 0;
  // The server state shown (status lines, the Communication Status dialog). Set before the
  // polling starts; both live until the loop has ended.
  virtual void attach(DeviceList* devices, QueueLock* queueLock) = 0;
  // The MQTT side's figures, when it runs (a run without a window logs its own lines).
  virtual void attachBroker(std::shared_ptr<const BrokerView> /*broker*/) {}
  virtual void showMinimized() = 0;
  // Runs the message loop until the window is closed; returns the quit code. Afterwards the
  // window is gone: status messages return at once and closes are not posted.
  virtual int exec() = 0;
  // Closes the window soon (from any thread) unless it is gone already.
  virtual void postClose() = 0;
  // The window goes without its loop having run (a failed start).
  virtual void destroyWindow() = 0;
};

}  // namespace zentarc::shell
