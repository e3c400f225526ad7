// OPCZentarc: serves the registers of GE PLCs to OPC UA clients.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>

#include "server/config/ConfigCheck.h"
#include "server/shell/CommandLine.h"
#include "server/shell/ConfigDiscovery.h"
#include "server/shell/DisplayProbe.h"
#include "server/shell/HeadlessUi.h"
#include "server/shell/MqttSetup.h"
#include "server/shell/ServerShell.h"
#include "server/shell/ShellLog.h"
#include "server/shell/SignalWatcher.h"
#include "server/shell/StatusWindow.h"
#include "server/shell/UserAdmin.h"

namespace {

// SIGHUP asks a daemon to read its configuration again; this one reads it only at start.
void hangUpNoticed(zentarc::shell::ShellLog& log) {
  log.line(zentarc::shell::LogPriority::Notice,
           "SIGHUP received: the configuration is read only at start; the server goes on with the one it "
           "loaded (restart it to load a changed file)");
}

// What MQTT would publish, when it is on; a problem with its options counts as a problem.
int checkMqtt(const zentarc::shell::CommandLine& cl, const std::string& config, int exitCode) {
  const zentarc::settings::SettingsStore store(zentarc::settings::SettingsStore::defaultPath());
  std::vector<std::string> notices;
  std::string error;
  const auto mqtt = zentarc::shell::resolveMqtt(cl, store, notices, error);
  for (const auto& n : notices) std::cout << "note: " << n << "\n";
  if (!error.empty()) {
    std::cout << "problem: MQTT: " << error << "\n";
    return exitCode == zentarc::config::kCheckClean ? zentarc::config::kCheckProblems : exitCode;
  }
  if (mqtt && exitCode != zentarc::config::kCheckUnreadable && !zentarc::shell::printMqttCheck(*mqtt, config, std::cout))
    return exitCode == zentarc::config::kCheckClean ? zentarc::config::kCheckProblems : exitCode;
  return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zentarc::shell;
  const std::vector<std::string> args(argv + 1, argv + argc);
  ShellOptions options;
  options.commandLine = parseCommandLine(args);
  const CommandLine& cl = options.commandLine;
  if (!cl.error.empty()) {
    // It ends the run: an error for the journal as well.
    std::fprintf(stderr, "%sOPCZentarc: %s\nTry 'OPCZentarc --help'.\n", isJournalStream(2) ? "<3>" : "",
                 cl.error.c_str());
    return 2;
  }
  if (cl.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (cl.checkConfig) {
    // Nothing starts: no window, no polling, no endpoint.
    const auto report = zentarc::config::CheckConfiguration(*cl.checkConfig);
    zentarc::config::PrintConfigCheck(*cl.checkConfig, report, std::cout);
    return checkMqtt(cl, *cl.checkConfig, report.exitCode);
  }
  options.executablePath = ownExecutablePath();

  ShellLog log;
  if (cl.addUser || cl.removeUser) {
    const zentarc::settings::SettingsStore store(options.settingsPath);
    return runUserAdmin(cl, store, std::cin, isatty(STDIN_FILENO) != 0, log);
  }
  // Qt sees none of our arguments: a switch such as -embedding is ours alone.
  int qtArgc = 1;
  const DisplayProbe display = cl.headless ? DisplayProbe{} : probeDisplay([](const char* name) { return std::getenv(name); });
  if (cl.headless || !display.usable) {
    // A display that is named but cannot be reached (a closed session, a wrong number) must
    // not keep a plant server from starting: Qt would end the process.
    if (!display.unreachable.empty())
      log.line(LogPriority::Warning, "the display " + display.unreachable + " cannot be reached; running without a window");
    QCoreApplication app(qtArgc, argv);
    HeadlessUi ui(log);
    SignalWatcher watcher([&ui] { ui.postClose(); }, [&log] { hangUpNoticed(log); });
    ServerShell shell(options, ui, log);
    return shell.run();
  }
  QApplication app(qtArgc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  StatusWindow window;
  SignalWatcher watcher([&window] { window.postClose(); }, [&log] { hangUpNoticed(log); });
  ServerShell shell(options, window, log);
  return shell.run();
}
