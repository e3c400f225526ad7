#include "server/shell/StatusBridge.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace zentarc::shell {

StatusBridge::StatusBridge(QObject* context, Handler handler)
    : state_(std::make_shared<State>()), context_(context), handler_(std::make_shared<Handler>(std::move(handler))) {}

StatusBridge::~StatusBridge() { close(); }

void StatusBridge::close() {
  {
    std::lock_guard g(state_->mutex);
    state_->closed = true;
  }
  state_->handled.notify_all();
}

void StatusBridge::sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) {
  QObject* context = context_.data();
  if (!context) return;
  if (QThread::currentThread() == context->thread()) {
    (*handler_)(message, code, device);
    return;
  }
  auto done = std::make_shared<bool>(false);
  {
    std::lock_guard g(state_->mutex);
    if (state_->closed) return;
  }
  std::shared_ptr<State> state = state_;
  std::shared_ptr<Handler> handler = handler_;
  QMetaObject::invokeMethod(
      context,
      [state, handler, done, message, code, device] {
        {
          std::lock_guard g(state->mutex);
          if (state->closed) return;
        }
        (*handler)(message, code, device);
        {
          std::lock_guard g(state->mutex);
          *done = true;
        }
        state->handled.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(state_->mutex);
  state_->handled.wait(lock, [&] { return *done || state_->closed; });
}

}  // namespace zentarc::shell
