#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>

#include "server/shell/AboutBox.h"
#include "server/shell/CommStatusDialog.h"
#include "server/shell/ServerIdentity.h"
#include "server/shell/StatusWindow.h"
#include "server/toolkit/SOCmnException.h"
#include "tests/shell/ShellTestSupport.h"

using namespace zentarc;
using namespace zentarc::shell;

namespace {

struct Window {
  shelltest::RecordingPrompter prompter;
  plc::ErrorCatalogue catalogue;
  DeviceList devices;
  QueueLock lock;
  PlcDevice* plc[3] = {};
  std::unique_ptr<StatusWindow> window;
  Window() {
    catalogue.LoadBytes("0020 Connection refused by the PLC\r\nFFFF end\r\n");
    const char* names[] = {"Press", "Oven", "Packing"};
    for (int i = 0; i < 3; ++i) {
      SOCmnPointer<PlcDevice> d(SOCmnNew<PlcDevice>(names[i], "127.0.6.30"));
      devices.add(d.get());
      plc[i] = d.get();
    }
    window = std::make_unique<StatusWindow>(&prompter, &catalogue);
    window->attach(&devices, &lock);
  }
};

}  // namespace

TEST(StatusWindow, titleSizeAndMenuCommands) {
  Window w;
  EXPECT_EQ(w.window->windowTitle(), "Tarvelle G.E. Tcp/Ip OPC DA Server");
  EXPECT_EQ(w.window->size(), QSize(506, 100));
  const QList<QAction*> menus = w.window->menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), "&File");
  EXPECT_EQ(menus[1]->text(), "&Help");
  const QList<QAction*> file = menus[0]->menu()->actions();
  ASSERT_EQ(file.size(), 3);
  EXPECT_EQ(file[0]->text(), "Comm. Status ...");
  EXPECT_EQ(file[0]->data().toInt(), kCmdCommStatus);
  EXPECT_TRUE(file[1]->isSeparator());
  EXPECT_EQ(file[2]->text(), "E&xit");
  EXPECT_EQ(file[2]->data().toInt(), kCmdExit);
  const QList<QAction*> help = menus[1]->menu()->actions();
  ASSERT_EQ(help.size(), 1);
  EXPECT_EQ(help[0]->text(), "&About ...");
  EXPECT_EQ(help[0]->data().toInt(), kCmdAbout);
}

TEST(StatusWindow, plcStatusRebuildsOneLinePerPlc) {
  Window w;
  EXPECT_EQ(w.window->statusText(), "");
  w.window->statusSink().sendMessage(WM_PLC_STATUS, 32, w.plc[1]);  // on the window's own thread
  EXPECT_EQ(w.window->statusText(), "\nConnection refused by the PLC on Oven\n\n");
  w.window->plcStatus(32, w.plc[0]);
  EXPECT_EQ(w.window->statusText(), "Connection refused by the PLC on Press\nConnection refused by the PLC on Oven\n\n");
  w.window->plcStatus(0, w.plc[1]);
  EXPECT_EQ(w.window->statusText(), "Connection refused by the PLC on Press\n\n\n");
  w.window->plcStatus(0, w.plc[0]);
  EXPECT_EQ(w.window->statusText(), "\n\n\n");
}

TEST(StatusWindow, aCpuThatStopsGetsALineAndLosesItWhenItRunsAgain) {
  Window w;
  PlcStatus status;
  status.state = PlcState::Working;
  status.cpu = plc::CpuStatus{.statusWord = plc::statusWordFor(plc::CpuState::StopDisabled)};
  w.plc[2]->publishStatus(status);
  w.window->statusSink().sendMessage(WM_PLC_CPU_STATE, 2, w.plc[2]);
  EXPECT_EQ(w.window->statusText(), "\n\nPacking: CPU stop, outputs disabled\n");
  status.cpu = plc::CpuStatus{.statusWord = plc::statusWordFor(plc::CpuState::RunEnabled)};
  w.plc[2]->publishStatus(status);
  w.window->statusSink().sendMessage(WM_PLC_CPU_STATE, 0, w.plc[2]);
  EXPECT_EQ(w.window->statusText(), "\n\n\n");
}

TEST(StatusWindow, messageFromAnotherThreadWaitsUntilHandled) {
  Window w;
  std::atomic<bool> returned{false};
  std::thread polling([&] {
    w.window->statusSink().sendMessage(WM_PLC_STATUS, 32, w.plc[2]);
    returned = true;
  });
  // Nothing is handled before the loop runs, and the sender waits for it.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(returned);
  for (int i = 0; i < 500 && !returned; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  polling.join();
  EXPECT_EQ(w.window->statusText(), "\n\nConnection refused by the PLC on Packing\n");
}

TEST(StatusWindow, messagesToAGoneWindowReturnAtOnce) {
  Window w;
  w.window->destroyWindow();
  std::thread polling([&] { w.window->statusSink().sendMessage(WM_NO_PLC, 0, nullptr); });
  polling.join();  // would hang if the message waited for a loop that never comes
  EXPECT_TRUE(w.prompter.shown().empty());
}

TEST(StatusWindow, noPlcShowsItsWarningAndCloses) {
  Window w;
  w.window->show();
  w.window->noPlc();
  ASSERT_EQ(w.prompter.shown().size(), 1u);
  EXPECT_EQ(w.prompter.shown()[0].first, "OPC GE Server");
  EXPECT_EQ(w.prompter.shown()[0].second, "No GE PLC configured. OPC Server being closed.");
  EXPECT_TRUE(w.window->gone());
  EXPECT_FALSE(w.window->isVisible());
}

TEST(StatusWindow, aboutAndCommStatusAreModalDialogs) {
  Window w;
  QStringList seen;
  w.window->runModal = [&](QDialog& dialog) {
    seen << dialog.objectName();
    if (auto* version = dialog.findChild<QLabel*>("AboutVersion")) seen << version->text();
    if (auto* tree = dialog.findChild<QTreeWidget*>("Tree1")) {
      seen << dialog.windowTitle();
      seen << tree->topLevelItem(0)->text(0);
      seen << QString::number(tree->topLevelItem(0)->childCount());
    }
  };
  w.window->command(kCmdAbout);
  w.window->command(kCmdCommStatus);
  EXPECT_EQ(seen, (QStringList{"AboutBox", "GE Tcp/Ip OPC DA Server - Ver. 1.0.0.0  Win32 ", "CommStatusDialog",
                               "Communication Status", "PLCs Network", "3"}));
  w.window->command(kCmdExit);
  EXPECT_TRUE(w.window->gone());
}
