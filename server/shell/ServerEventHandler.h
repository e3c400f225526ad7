#pragma once
// The server's event handler: when the last client session goes, it wakes a shut-down
// that waits for it and, for a run started on demand (-Embedding), closes the window.
#include <functional>
#include <mutex>

#include "server/toolkit/SOCmnEvent.h"
#include "server/toolkit/SOSrvEventHandler.h"

namespace zentarc::shell {

class ServerEventHandler : public SOSrvEventHandler {
 public:
  // closeWindow is called from the serving thread; it must only post the close.
  ServerEventHandler(bool startedByCom, std::function<void()> closeWindow);

  void onLastOPCObjectReleased() override;

  bool startedByCom() const { return startedByCom_; }
  void setShutdownEvent(SOCmnEvent* event);
  // The window is gone: nothing is posted to it any more.
  void windowGone();

 protected:
  ~ServerEventHandler() override = default;

 private:
  const bool startedByCom_;
  std::mutex mutex_;
  std::function<void()> closeWindow_;
  SOCmnEvent* shutdownEvent_ = nullptr;
};

}  // namespace zentarc::shell
