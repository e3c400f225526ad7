// Pictures of the status window and the Communication Status dialog for the README: the
// real program on the sample configuration, Line1 simulated and Line2 unreachable.
// Usage: server_screenshots OUTPUT_FOLDER SAMPLE_CONFIGURATION  (under Xvfb or offscreen)
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <QTreeWidget>

#include "server/shell/ServerShell.h"
#include "server/shell/StatusWindow.h"
#include "server/toolkit/SOCmnException.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc;
using namespace zentarc::shell;

namespace {

QTreeWidgetItem* findItem(QTreeWidgetItem* item, const QString& text) {
  if (item->text(0) == text) return item;
  for (int i = 0; i < item->childCount(); ++i)
    if (QTreeWidgetItem* found = findItem(item->child(i), text)) return found;
  return nullptr;
}

bool save(QWidget& widget, const QString& path) {
  const bool ok = widget.grab().save(path);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: server_screenshots OUTPUT_FOLDER SAMPLE_CONFIGURATION\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  plcsim::Simulator sim({.address = "127.0.0.2"});
  std::string error;
  if (!sim.start(&error)) {
    std::fprintf(stderr, "server_screenshots: simulator: %s\n", error.c_str());
    return 1;
  }
  sim.setRegisters(0, {1234, 0, 417, 1163, 1});
  sim.setRegisters(9, {18765, 11608, 65, 0});
  sim.setRegisters(19, {120, 125, 130, 0});
  sim.setRegisters(29, {17041, 0});

  ShellOptions options;
  options.commandLine =
      // No OPC UA client comes: the plain channel alone, and no PKI folder on the machine.
      parseCommandLine({"--config", argv[2], "--endpoint", "opc.tcp://127.0.0.1:48409", "--security", "None"});
  options.settingsPath = "/nonexistent/opczentarc.ini";  // read only, and nothing is needed from it
  ShellLog log;
  StatusWindow window;
  ServerShell shell(options, window, log);

  // A client of our own subscribes to every Line1 tag, so that the PLC workers make blocks.
  SOCmnPointer<SODaSServer> client;
  std::vector<SOCmnPointer<SODaSItem>> items;
  QTimer::singleShot(200, [&] {
    client = shell.entry()->createServerObject("screenshots");
    SOCmnPointer<SODaSGroup> group = client->addGroup("all", 500);
    for (const char* name : {"Line1.Setpoint", "Line1.Counter", "Line1.Level", "Line1.Running", "Line1.Recipe",
                             "Line1.Temperature"})
      items.push_back(group->addItem(shell.entry()->getNameSpaceRoot()->findTag(name), true));
  });
  int failures = 0;
  QTimer::singleShot(4000, [&] {
    window.showNormal();
    window.move(40, 40);
    QTimer::singleShot(500, [&] {
      failures += !save(window, out + "/server-status-window.png");
      window.runModal = [&](QDialog& dialog) {
        dialog.show();
        auto* tree = dialog.findChild<QTreeWidget*>("Tree1");
        if (QTreeWidgetItem* line1 = findItem(tree->topLevelItem(0), "Line1"); line1 && line1->childCount() > 0) {
          line1->setExpanded(true);
          tree->setCurrentItem(line1->child(0));
        }
        QApplication::processEvents();
        failures += !save(dialog, out + "/server-comm-status.png");
        dialog.close();
      };
      window.command(40003);
      items.clear();
      shell.entry()->releaseServerObject(client.get());
      client.reset();
      window.close();
    });
  });
  const int code = shell.run();
  return code != 0 ? code : (failures ? 1 : 0);
}
