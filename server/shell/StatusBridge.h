#pragma once
// The PLC workers' two messages, delivered synchronously on the window's thread: the worker
// waits until the message has been handled there. Once the window is gone
// (close()), messages return at once, so that shut-down can never wait on a window that
// no longer reads its messages.
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include <QPointer>

#include "server/plc/PlcStatusSink.h"

class QObject;

namespace zentarc::shell {

class StatusBridge : public PlcStatusSink {
 public:
  using Handler = std::function<void(PlcStatusMessage, unsigned code, PlcDevice* device)>;

  // handler runs on context's thread.
  StatusBridge(QObject* context, Handler handler);
  ~StatusBridge() override;

  void sendMessage(PlcStatusMessage message, unsigned code, PlcDevice* device) override;
  void close();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable handled;
    bool closed = false;
  };
  std::shared_ptr<State> state_;
  QPointer<QObject> context_;
  std::shared_ptr<Handler> handler_;
};

}  // namespace zentarc::shell
