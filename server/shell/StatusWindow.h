#pragma once
// The server's main window: the latest communication error per PLC in Arial 16, centred
// from 10 pixels down; the File and Help menus; the about box and the "Communication
// Status" dialog. The PLC workers' messages arrive through the status bridge.
#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>

#include "server/plc/ErrorCatalogue.h"
#include "server/shell/ShellUiLifecycle.h"
#include "server/shell/StatusText.h"

class QAction;
class QDialog;

namespace zentarc::shell {

class StatusWindow : public QMainWindow, public ShellUiLifecycle {
 public:
  // prompter: null for message boxes owned by this window. catalogue: the texts of result
  // codes; null for error.dat beside the program.
  explicit StatusWindow(MessagePrompter* prompter = nullptr, const plc::ErrorCatalogue* catalogue = nullptr);
  ~StatusWindow() override;

  // ShellUi
  MessagePrompter& prompter() override { return *prompter_; }
  const plc::ErrorCatalogue& catalogue() const override { return catalogue_; }
  void showMinimized() override;
  void attachBroker(std::shared_ptr<const BrokerView> broker) override;

  // The menu commands (40001 Exit, 40002 About, 40003 Comm. Status).
  void command(int id);
  QAction* action(int id) const;
  // The PLC workers' status message, on this thread.
  void plcStatus(unsigned code, PlcDevice* device) override;
  // The status text again from the codes reported and the PLCs' states now.
  void rebuildStatusText();

  const std::string& statusText() const { return statusText_; }
  // How modal dialogs are run; tests replace it to look at a dialog and close it.
  std::function<void(QDialog&)> runModal;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void closeNow() override { close(); }

 private:
  class TextView;

  std::unique_ptr<MessagePrompter> ownPrompter_;
  MessagePrompter* prompter_;
  std::unique_ptr<plc::ErrorCatalogue> ownCatalogue_;
  const plc::ErrorCatalogue& catalogue_;
  TextView* view_ = nullptr;
  ReportedCodes reportedCodes_;
  std::shared_ptr<const BrokerView> broker_;
  std::string statusText_;
};

}  // namespace zentarc::shell
