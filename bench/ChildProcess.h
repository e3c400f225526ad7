#pragma once
// Programs the benchmarks start and watch: their CPU time and resident memory from /proc.
// ChildProcess reads a program's output (stdout and stderr together) line by line with a
// time limit and ends it in order (SIGTERM, then SIGKILL if it does not go); spawn() runs a
// server child that prints "READY" when serving and ends on "quit".
#include <fcntl.h>
#include <poll.h>
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

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() { stop(); }

  bool start(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(out[1], 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    fd_ = out[0];
    return pid_ > 0;
  }

  // Reads lines until one contains `text` (true), or the program ends or timeoutMs pass.
  bool waitForLine(const std::string& text, int timeoutMs, std::string* line = nullptr) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string l = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        if (l.find(text) != std::string::npos) {
          if (line) *line = l;
          return true;
        }
        continue;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[4096];
      const ssize_t got = ::read(fd_, chunk, sizeof chunk);
      if (got <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(got));
    }
  }

  // Ends it (SIGTERM, up to 10 s, then SIGKILL); its exit status, or -1.
  int stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    for (int i = 0; i < 1000; ++i) {
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        ::close(fd_);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      // Its output must not fill the pipe while it shuts down.
      char chunk[4096];
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 10) > 0 && ::read(fd_, chunk, sizeof chunk) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    ::close(fd_);
    return -1;
  }

  pid_t pid() const { return pid_; }

  // CPU seconds (user and system) so far.
  double cpuSeconds() const { return bench::cpuSeconds(pid_); }
  long rssKiB() const { return bench::rssKiB(pid_); }
  long threads() const { return statusKiB(pid_, "Threads:"); }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string buffer_;
};

// The folder of this program (where OPCZentarc and plcsim are built too).
inline std::string ownFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, static_cast<std::size_t>(n));
  return p.substr(0, p.rfind('/'));
}

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

}  // namespace zentarc::bench
