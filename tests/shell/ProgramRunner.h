#pragma once
// The OPCZentarc program run as a child process, for the tests of the program itself: its
// output in files, its settings (PKI folder, users file) in a folder of its own.
#include <csignal>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "server/toolkit/ua/UaClient.h"
#include "tests/support/TempDir.h"
#include "tests/support/WaitFor.h"

namespace zentarc::shelltest {

struct Program {
  zentarc::testsupport::TempDir dir;
  pid_t pid = -1;

  // Starts the program with stdout and stderr into files, settings in the temp folder (whose
  // PKI folder and users file are there too) and no display; `input` is its standard input,
  // `moreEnv` more environment variables.
  void start(const std::vector<std::string>& args, const std::string& input = "",
             const std::vector<std::string>& moreEnv = {}) {
    if (!std::filesystem::exists(dir.file("settings.ini")))
      dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() +
                                    "\nUsers=" + dir.file("users").string() + "\n");
    dir.write("in", input);
    std::vector<std::string> env = {"OPCZENTARC_SETTINGS=" + dir.file("settings.ini").string(), "PATH=/usr/bin:/bin"};
    env.insert(env.end(), moreEnv.begin(), moreEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argvText = {OPCZENTARC_PROGRAM};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, dir.file("in").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, dir.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // The exit code, or -1 when the program has not ended within timeoutMs (it is then killed).
  int wait(int timeoutMs = 15000) {
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
    return -1;
  }
  std::string out() const { return zentarc::testsupport::TempDir::read(dir.file("out")); }
  std::string err() const { return zentarc::testsupport::TempDir::read(dir.file("err")); }
  // True once the program's standard error holds `text`, looking for at most `limit`.
  bool waitForErr(const std::string& text, std::chrono::milliseconds limit) const {
    return zentarc::testsupport::waitFor([&] { return err().find(text) != std::string::npos; }, limit);
  }
  ~Program() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

// True when something accepts TCP connections on 127.0.0.1:port right now.
inline bool listening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// A subscription with one monitored item on the tag, so that the server polls its PLC.
inline bool subscribe(zentarc::ua::UaClient& client, const std::string& tag) {
  using namespace zentarc::ua;
  CreateSubscriptionRequest cs;
  cs.requestedPublishingInterval = 100;
  cs.requestedMaxKeepAliveCount = 50;
  cs.requestedLifetimeCount = 600;
  cs.publishingEnabled = true;
  CreateSubscriptionResponse csr;
  if (!client.call(cs, csr).isGood()) return false;
  CreateMonitoredItemsRequest mi;
  mi.subscriptionId = csr.subscriptionId;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = NodeId(1, String(tag));
  item.monitoringMode = MonitoringMode::Reporting;
  item.requestedParameters.samplingInterval = 100;
  item.requestedParameters.queueSize = 1;
  mi.itemsToCreate.push_back(item);
  CreateMonitoredItemsResponse mir;
  return client.call(mi, mir).isGood() && mir.results.size() == 1 && mir.results[0].statusCode.isGood();
}

}  // namespace zentarc::shelltest
