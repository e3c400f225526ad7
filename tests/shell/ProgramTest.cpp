// The OPCZentarc executable itself: its command line and a run without a display.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "server/shell/ServerIdentity.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempDir.h"
#include "tools/plcsim/Simulator.h"

extern char** environ;

namespace {

struct Program {
  zentarc::testsupport::TempDir dir;
  pid_t pid = -1;

  // Starts the program with stdout and stderr into files, settings in the temp folder and
  // no display.
  void start(const std::vector<std::string>& args) {
    std::vector<std::string> env = {"OPCZENTARC_SETTINGS=" + dir.file("settings.ini").string(), "PATH=/usr/bin:/bin"};
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
  ~Program() {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
};

}  // namespace

TEST(Program, helpAndBadOptions) {
  Program help;
  help.start({"--help"});
  EXPECT_EQ(help.wait(), 0);
  EXPECT_NE(help.out().find("-RegServer"), std::string::npos);

  Program bad;
  bad.start({"--endpoint"});
  EXPECT_EQ(bad.wait(), 2);
  EXPECT_NE(bad.err().find("--endpoint needs a value"), std::string::npos);
}

TEST(Program, withoutDisplayOrConfigurationItLogsAndEndsByItselfWithAFailureStatus) {
  Program p;
  p.start({"--endpoint", "opc.tcp://127.0.0.1:28620"});
  EXPECT_EQ(p.wait(), 1);
  const std::string err = p.err();
  EXPECT_NE(err.find(zentarc::shell::kNoConfigText), std::string::npos) << err;
  EXPECT_NE(err.find(zentarc::shell::kNoPlcText), std::string::npos) << err;
}

TEST(Program, aConfigurationThatDoesNotParseIsReportedAndEndsWithAFailureStatus) {
  Program p;
  const std::string config = p.dir.write("plant.xml", "<?xml version=\"1.0\"?>\r\n<TarvelleZentarcCfg><OPC_DA>").string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28622"});
  EXPECT_EQ(p.wait(), 1);
  const std::string err = p.err();
  EXPECT_NE(err.find("could not be read"), std::string::npos) << err;
  EXPECT_NE(err.find(zentarc::shell::kNoPlcText), std::string::npos) << err;
}

TEST(Program, terminationSignalShutsDownInOrder) {
  zentarc::plcsim::Simulator sim({.address = "127.0.6.40"});
  ASSERT_TRUE(sim.start());
  Program p;
  const std::string config = p.dir
                                 .write("plant.xml", zentarc::shelltest::configXml(
                                                         "<PLC name=\"P\" IPaddress=\"127.0.6.40\"><tags></tags></PLC>"))
                                 .string();
  p.start({"--headless", "--config", config, "--endpoint", "opc.tcp://127.0.0.1:28621"});
  bool serving = false;
  for (int i = 0; i < 1000 && !serving; ++i) {
    serving = p.err().find("serving OPC UA on opc.tcp://127.0.0.1:28621") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(serving) << p.err();
  ::kill(p.pid, SIGTERM);
  EXPECT_EQ(p.wait(), 0) << p.err();
}
