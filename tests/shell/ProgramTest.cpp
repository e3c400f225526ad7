// The OPCZentarc executable itself: its command line and a run without a display.
#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <filesystem>
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

  // Starts the program with stdout and stderr into files, settings in the temp folder (whose
  // PKI folder and users file are there too) and no display; `input` is its standard input.
  void start(const std::vector<std::string>& args, const std::string& input = "") {
    if (!std::filesystem::exists(dir.file("settings.ini")))
      dir.write("settings.ini", "[SOFTWARE\\TarvelleAutomation\\OPCZentarc]\nPki=" + dir.file("pki").string() +
                                    "\nUsers=" + dir.file("users").string() + "\n");
    dir.write("in", input);
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

TEST(Program, withoutDisplayOrConfigurationItLogsAndEndsByItself) {
  Program p;
  p.start({"--endpoint", "opc.tcp://127.0.0.1:28620"});
  EXPECT_EQ(p.wait(), 0);
  const std::string err = p.err();
  EXPECT_NE(err.find(zentarc::shell::kNoConfigText), std::string::npos) << err;
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

// The program made secure by default: its certificate in the store's PKI folder, no None.
TEST(Program, securedByDefault_makesItsCertificate_andWarnsOfNothing) {
  Program p;
  p.start({"--headless", "--endpoint", "opc.tcp://127.0.0.1:28622"});
  bool serving = false;
  for (int i = 0; i < 1500 && !serving; ++i) {
    serving = p.err().find("serving OPC UA on") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(p.pid, SIGTERM);
  p.wait();
  const std::string err = p.err();
  EXPECT_TRUE(std::filesystem::exists(p.dir.file("pki") / "own/certs/OPCZentarc.der")) << err;
  EXPECT_NE(err.find("certificates in " + p.dir.file("pki").string()), std::string::npos) << err;
  EXPECT_EQ(err.find("warning: SecurityPolicy None"), std::string::npos) << err;
  EXPECT_EQ(err.find("warning: anonymous clients may write"), std::string::npos) << err;
}

TEST(Program, noneAndAnonymousWriting_areWarnedOfAtStart) {
  Program p;
  p.start({"--headless", "--endpoint", "opc.tcp://127.0.0.1:28623", "--security=None", "--anonymous", "write"});
  bool serving = false;
  for (int i = 0; i < 1500 && !serving; ++i) {
    serving = p.err().find("serving OPC UA on") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(p.pid, SIGTERM);
  p.wait();
  const std::string err = p.err();
  EXPECT_NE(err.find("warning: SecurityPolicy None is offered"), std::string::npos) << err;
  EXPECT_NE(err.find("warning: anonymous clients may write to the PLCs"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(p.dir.file("pki"))) << "None alone needs no certificate";
}

TEST(Program, addUser_readsThePasswordFromStandardInput_removeUserTakesItAway) {
  Program add;
  add.start({"--add-user", "alice", "--role", "writer"}, "s3cret-pw\n");
  EXPECT_EQ(add.wait(), 0) << add.err();
  const std::string users = zentarc::testsupport::TempDir::read(add.dir.file("users"));
  EXPECT_EQ(users.rfind("alice:writer:pbkdf2-sha256$100000$", 0), 0u) << users;
  EXPECT_EQ(users.find("s3cret"), std::string::npos);
  EXPECT_EQ(add.err().find("s3cret"), std::string::npos);
  EXPECT_EQ(std::filesystem::status(add.dir.file("users")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
  Program remove;
  remove.start({"--remove-user=alice", "--users", add.dir.file("users").string()});
  EXPECT_EQ(remove.wait(), 0) << remove.err();
  EXPECT_EQ(zentarc::testsupport::TempDir::read(add.dir.file("users")), "");
  Program again;
  again.start({"--remove-user", "alice", "--users", add.dir.file("users").string()});
  EXPECT_EQ(again.wait(), 1);
  EXPECT_NE(again.err().find("no user \"alice\""), std::string::npos) << again.err();
  Program bad;
  bad.start({"--add-user", "bob"});
  EXPECT_EQ(bad.wait(), 2);
  EXPECT_NE(bad.err().find("--add-user needs --role"), std::string::npos) << bad.err();
}
