#include "server/shell/StatusWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QStyle>
#include <QTimer>

#include "server/shell/AboutBox.h"
#include "server/shell/CommStatusDialog.h"
#include "server/shell/QtMessagePrompter.h"
#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusText.h"

namespace zentarc::shell {

// The client area: statusText drawn centred, from 10 pixels below the top, not clipped.
class StatusWindow::TextView : public QWidget {
 public:
  explicit TextView(StatusWindow& window) : QWidget(&window), window_(window) {
    setObjectName("StatusText");
    font_.setFamily("Arial");
    font_.setPixelSize(16);
    setAutoFillBackground(true);
  }
  const QFont& textFont() const { return font_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setFont(font_);
    const QRect area(0, 10, width(), height() - 10);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip,
                     QString::fromStdString(window_.statusText()));
  }

 private:
  StatusWindow& window_;
  QFont font_;
};

StatusWindow::StatusWindow(MessagePrompter* prompter, const plc::ErrorCatalogue* catalogue)
    : ShellUiLifecycle(this),
      prompter_(prompter),
      ownCatalogue_(catalogue ? nullptr : loadDefaultCatalogue()),
      catalogue_(catalogue ? *catalogue : *ownCatalogue_) {
  if (!prompter_) {
    ownPrompter_ = std::make_unique<QtMessagePrompter>(this);
    prompter_ = ownPrompter_.get();
  }
  setObjectName(kWindowClassName);
  setWindowTitle(kDescription);
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  // Caption, system menu, sizing frame and a minimise box; no maximise box.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // Right and middle clicks do nothing (no toolbar menu either).
  setContextMenuPolicy(Qt::NoContextMenu);
  resize(kWindowWidth, kWindowHeight);

  QMenu* file = menuBar()->addMenu("&File");
  QMenu* help = menuBar()->addMenu("&Help");
  struct Entry {
    QMenu* menu;
    const char* text;
    int id;
    const char* name;
  };
  for (const Entry& e : {Entry{file, "Comm. Status ...", kCmdCommStatus, "mnuCommStatus"},
                         Entry{file, nullptr, 0, nullptr}, Entry{file, "E&xit", kCmdExit, "mnuExit"},
                         Entry{help, "&About ...", kCmdAbout, "mnuAbout"}}) {
    if (!e.text) {
      e.menu->addSeparator();
      continue;
    }
    QAction* a = e.menu->addAction(e.text);
    a->setObjectName(e.name);
    a->setData(e.id);
    const int id = e.id;
    connect(a, &QAction::triggered, this, [this, id] { command(id); });
  }

  view_ = new TextView(*this);
  setCentralWidget(view_);
  // A demoted PLC's next try moves on without a message of its own: the text follows it.
  auto* clock = new QTimer(this);
  connect(clock, &QTimer::timeout, this, [this] { rebuildStatusText(); });
  clock->start(1000);
  runModal = [](QDialog& dialog) { dialog.exec(); };
}

StatusWindow::~StatusWindow() { destroyWindow(); }

QAction* StatusWindow::action(int id) const {
  for (QAction* a : findChildren<QAction*>())
    if (a->data().toInt() == id) return a;
  return nullptr;
}

void StatusWindow::showMinimized() {
  QMainWindow::showMinimized();
  update();
}

void StatusWindow::command(int id) {
  switch (id) {
    case kCmdExit:
      close();
      break;
    case kCmdAbout: {
      AboutBox about(this);
      runModal(about);
      break;
    }
    case kCmdCommStatus: {
      static DeviceList noDevices;
      static QueueLock noLock;
      CommStatusDialog dialog(devices_ ? *devices_ : noDevices, queueLock_ ? *queueLock_ : noLock, this, &catalogue_);
      runModal(dialog);
      break;
    }
    default:
      break;
  }
}

void StatusWindow::plcStatus(unsigned code, PlcDevice* device) {
  if (!devices_) return;
  // Each PLC keeps its line until it reports again: one recovering must not hide another
  // that still fails.
  reportedCodes_[device] = code;
  rebuildStatusText();
}

void StatusWindow::attachBroker(std::shared_ptr<const BrokerView> broker) {
  broker_ = std::move(broker);
  rebuildStatusText();
}

void StatusWindow::rebuildStatusText() {
  std::string text;
  if (devices_ && !reportedCodes_.empty()) text = buildStatusText(*devices_, reportedCodes_, catalogue_);
  // The broker's line below the PLCs', kept current by the clock.
  if (broker_) text += brokerStatusLine(broker_->figures()) + "\n";
  if (text == statusText_) return;
  statusText_ = std::move(text);
  view_->update();
}

void StatusWindow::closeEvent(QCloseEvent* event) {
  // Closing destroys the window, and its end ends the message loop with code 0.
  event->accept();
  windowDestroyed();
}

}  // namespace zentarc::shell
