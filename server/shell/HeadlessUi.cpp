#include "server/shell/HeadlessUi.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusText.h"

namespace zentarc::shell {

HeadlessUi::HeadlessUi(ShellLog& log, const plc::ErrorCatalogue* catalogue)
    : log_(log),
      prompter_(log),
      ownCatalogue_(catalogue ? nullptr : loadDefaultCatalogue()),
      catalogue_(catalogue ? *catalogue : *ownCatalogue_),
      bridge_(this, [this](PlcStatusMessage message, unsigned code, PlcDevice* device) {
        if (message == WM_PLC_STATUS) plcStatus(code, device);
        else if (message == WM_NO_PLC) noPlc();
      }) {}

HeadlessUi::~HeadlessUi() {
  gone_ = true;
  bridge_.close();
}

void HeadlessUi::attach(DeviceList* devices, QueueLock* /*queueLock*/) { devices_ = devices; }

void HeadlessUi::showMinimized() {
  log_.line(std::string(kDescription) + " running without a window; PLC status follows here");
}

int HeadlessUi::exec() {
  if (gone_) return 0;
  const int code = QCoreApplication::exec();
  destroyWindow();
  return code;
}

void HeadlessUi::destroyWindow() {
  gone_ = true;
  bridge_.close();
}

void HeadlessUi::postClose() {
  if (gone_) return;
  QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void HeadlessUi::close() {
  if (!gone_.exchange(true)) QCoreApplication::exit(0);
}

void HeadlessUi::plcStatus(unsigned code, PlcDevice* device) {
  if (device) log_.line(statusLogLine(code, *device, catalogue_));
}

void HeadlessUi::noPlc() {
  prompter_.warning(kNoPlcCaption, kNoPlcText);
  close();
}

}  // namespace zentarc::shell
