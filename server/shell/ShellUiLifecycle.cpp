#include "server/shell/ShellUiLifecycle.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>

#include "server/shell/ServerIdentity.h"

namespace zentarc::shell {

ShellUiLifecycle::ShellUiLifecycle(QObject* context)
    : context_(context), bridge_(context, [this](PlcStatusMessage message, unsigned code, PlcDevice* device) {
        if (message == WM_PLC_STATUS) plcStatus(code, device);
        else if (message == WM_PLC_CPU_STATE) plcCpuState(code, device);
        else if (message == WM_NO_PLC) noPlc();
      }) {}

ShellUiLifecycle::~ShellUiLifecycle() { destroyWindow(); }

void ShellUiLifecycle::attach(DeviceList* devices, QueueLock* queueLock) {
  devices_ = devices;
  queueLock_ = queueLock;
}

int ShellUiLifecycle::exec() {
  if (gone_) return 0;  // closed before the loop could run
  const int code = QCoreApplication::exec();
  destroyWindow();
  return code;
}

void ShellUiLifecycle::destroyWindow() {
  gone_ = true;
  bridge_.close();
}

void ShellUiLifecycle::postClose() {
  if (gone_) return;
  QMetaObject::invokeMethod(context_, [this] { closeNow(); }, Qt::QueuedConnection);
}

void ShellUiLifecycle::windowDestroyed() {
  if (!gone_.exchange(true)) QCoreApplication::exit(0);
}

void ShellUiLifecycle::noPlc() {
  prompter().warning(kNoPlcCaption, kNoPlcText);
  closeNow();
}

}  // namespace zentarc::shell
