#include "server/shell/ServerEventHandler.h"

namespace zentarc::shell {

ServerEventHandler::ServerEventHandler(bool startedByCom, std::function<void()> closeWindow)
    : startedByCom_(startedByCom), closeWindow_(std::move(closeWindow)) {}

void ServerEventHandler::onLastOPCObjectReleased() {
  std::lock_guard g(mutex_);
  if (shutdownEvent_) shutdownEvent_->signal();
  if (startedByCom_ && closeWindow_) closeWindow_();
}

void ServerEventHandler::setShutdownEvent(SOCmnEvent* event) {
  std::lock_guard g(mutex_);
  shutdownEvent_ = event;
}

void ServerEventHandler::windowGone() {
  std::lock_guard g(mutex_);
  closeWindow_ = nullptr;
}

}  // namespace zentarc::shell
