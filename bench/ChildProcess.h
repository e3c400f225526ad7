#pragma once
// A server program run as a child process of a benchmark, so that its CPU time and memory are
// its own: started with a command line, it prints "READY" when serving and ends on "quit".
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zentarc::bench {

struct Child {
  pid_t pid = -1;
  int in = -1;   // its stdin
  FILE* out = nullptr;  // its stdout
};

inline Child spawn(std::vector<std::string> args) {
  int toChild[2], fromChild[2];
  if (pipe(toChild) != 0 || pipe(fromChild) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    close(toChild[1]);
    close(fromChild[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  Child c{pid, toChild[1], fdopen(fromChild[0], "r")};
  char buf[256];
  // Bounded: a child that never says READY ends the bench with an error below.
  while (fgets(buf, sizeof buf, c.out))
    if (std::strncmp(buf, "READY", 5) == 0) return c;
  return Child{};
}

inline void finish(Child& c) {
  if (c.pid <= 0) return;
  (void)!write(c.in, "quit\n", 5);
  close(c.in);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(c.pid, nullptr, WNOHANG) == c.pid) {
      c.pid = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (c.pid > 0) {
    kill(c.pid, SIGKILL);
    waitpid(c.pid, nullptr, 0);
  }
  if (c.out) fclose(c.out);
}

// CPU seconds (user + system) of a process.
inline double cpuSeconds(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto close = s.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream in(s.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

inline long rssKiB(pid_t pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// A line of /proc/<pid>/status such as "VmHWM:", in KiB.
inline long statusKiB(pid_t pid, const char* field) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(f, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n);
  return 0;
}

}  // namespace zentarc::bench
