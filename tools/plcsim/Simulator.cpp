#include "tools/plcsim/Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "tools/plcsim/SimMemory.h"

namespace zentarc::plcsim {

namespace ge = zentarc::plc::ge;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTickMs = 50;
constexpr std::size_t kMaxInput = ge::kHeaderSize + 0xFFFF;

struct Pending {
  enum class Action { Data, Close, Reset };
  Clock::time_point due;
  std::vector<std::uint8_t> bytes;
  Action action = Action::Data;
};

struct Connection {
  enum class State { ExpectHello, ExpectOpen, Ready };
  int fd = -1;
  std::uint64_t id = 0;
  std::vector<std::uint8_t> input;
  State state = State::ExpectHello;
  int answered = 0;
  std::deque<Pending> output;
  bool dead = false;
};

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

plc::CpuStatus simulatedCpuStatus(plc::CpuState state) {
  plc::CpuStatus s;
  s.programNumber = 1;
  s.privilegeLevel = 2;
  const bool running = static_cast<unsigned>(state) <= 1;
  s.sweepTimeMs = running ? 10 : 0;
  s.statusWord = plc::statusWordFor(state, running ? 0x0100 : 0);
  return s;
}

struct Simulator::Impl {
  Options options;
  mutable std::mutex mutex;  // memory, CPU, faults, animations, stats, log, observer
  SimMemory memory;
  plc::CpuStatus cpu;
  std::vector<Animation> animations;
  Stats stats;
  std::deque<LoggedMessage> log;
  std::function<void(const LoggedMessage&)> observer;
  std::atomic<std::size_t> openConnections{0};

  std::thread thread;
  std::atomic<bool> stopping{false};
  int wake[2] = {-1, -1};
  int listener = -1;
  int filler = -1;            // holds the accept queue full while connects must go unanswered
  bool listenerSilent = false;
  std::vector<Connection> connections;
  std::uint64_t nextConnection = 1;
  Clock::time_point started;

  bool openListener(bool silent, std::string* error);
  void closeListener();
  void run();
  void acceptAll();
  void readFrom(Connection& c);
  void handle(Connection& c, const std::uint8_t* data, std::size_t length);
  void flush(Connection& c, Clock::time_point now);
  void animate();
  void record(LoggedMessage entry);
};

bool Simulator::Impl::openListener(bool silent, std::string* error) {
  closeListener();
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options.port);
  if (::inet_pton(AF_INET, options.address.c_str(), &addr.sin_addr) != 1) {
    if (error) *error = "'" + options.address + "' is not an IPv4 address";
    return false;
  }
  const std::string where = options.address + ":" + std::to_string(options.port);
  listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listener < 0) {
    if (error) *error = errnoText("cannot create a socket");
    return false;
  }
  const int one = 1;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  // A silent listener has no room in its accept queue, so the kernel drops new connects.
  if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 ||
      ::listen(listener, silent ? 0 : 16) < 0) {
    if (error) *error = errnoText("cannot listen on " + where);
    closeListener();
    return false;
  }
  listenerSilent = silent;
  if (silent) {
    filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (filler >= 0) {
      ::connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      pollfd p{filler, POLLOUT, 0};
      ::poll(&p, 1, 1000);
    }
  }
  return true;
}

void Simulator::Impl::closeListener() {
  if (filler >= 0) ::close(filler);
  if (listener >= 0) ::close(listener);
  filler = listener = -1;
}

void Simulator::Impl::record(LoggedMessage entry) {
  std::function<void(const LoggedMessage&)> notify;
  {
    std::lock_guard lock(mutex);
    notify = observer;
    if (options.logLimit > 0) {
      if (log.size() >= options.logLimit) log.pop_front();
      log.push_back(entry);
    }
  }
  if (notify) notify(entry);
}

void Simulator::Impl::acceptAll() {
  for (int i = 0; i < 16; ++i) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // Sends block at most 1 s, so a client that stops reading cannot hold the simulator.
    timeval limit{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    Connection c;
    c.fd = fd;
    c.id = nextConnection++;
    connections.push_back(std::move(c));
    openConnections = connections.size();
    std::lock_guard lock(mutex);
    ++stats.connections;
  }
}

void Simulator::Impl::readFrom(Connection& c) {
  std::uint8_t buffer[4096];
  for (int round = 0; round < 64 && !c.dead; ++round) {
    const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      c.dead = true;
      return;
    }
    if (got < 0) return;
    c.input.insert(c.input.end(), buffer, buffer + got);
    std::size_t used = 0;
    while (!c.dead && c.input.size() - used >= ge::kHeaderSize) {
      const std::size_t length = messageLength(c.input.data() + used);
      if (c.input.size() - used < length) break;
      handle(c, c.input.data() + used, length);
      used += length;
    }
    c.input.erase(c.input.begin(), c.input.begin() + static_cast<std::ptrdiff_t>(used));
    if (c.input.size() > kMaxInput) c.dead = true;  // longer than any message can be
  }
}

void Simulator::Impl::handle(Connection& c, const std::uint8_t* data, std::size_t length) {
  LoggedMessage entry;
  entry.connection = c.id;
  entry.request = parseRequest(data, length);
  entry.bytes.assign(data, data + length);
  Request& r = entry.request;

  Faults faults;
  std::vector<std::uint8_t> answer;
  {
    std::lock_guard lock(mutex);
    faults = options.faults;
    const plc::CpuStatus cpuNow = cpu;
    ++stats.messages;
    const int closeAfter = faults.resetAfter >= 0 ? faults.resetAfter : faults.closeAfter;
    if (closeAfter >= 0 && c.answered >= closeAfter) {
      ++stats.unanswered;
      entry.outcome = Outcome::Closed;
      c.output.push_back({Clock::now() + std::chrono::milliseconds(faults.delayMs), {},
                          faults.resetAfter >= 0 ? Pending::Action::Reset : Pending::Action::Close});
    } else if (faults.silent) {
      ++stats.unanswered;
      entry.outcome = Outcome::Unanswered;
    } else {
      auto refuse = [&](const std::string& problem) {
        if (!problem.empty() && r.problem.empty()) r.problem = problem;
        if (!r.problem.empty()) ++stats.layoutErrors;
        ++stats.refused;
        entry.outcome = Outcome::Refused;
        answer = statusAnswer(r.sequence, ge::kStatusRefused, cpuNow);
      };
      if (!r.problem.empty()) {
        refuse({});
      } else if (r.kind == MessageKind::Hello) {
        c.state = Connection::State::ExpectOpen;
        answer = helloAnswer();
      } else if (r.kind == MessageKind::Open) {
        if (c.state != Connection::State::ExpectOpen) {
          refuse("second handshake message without the first");
        } else if (faults.refuseHandshake) {
          refuse({});
        } else {
          c.state = Connection::State::Ready;
          ++stats.handshakes;
          answer = statusAnswer(r.sequence, ge::kStatusInHeader);
        }
      } else if (c.state != Connection::State::Ready) {
        refuse("request before the handshake");
      } else if (!memory.contains(r.area, r.unit, r.index, r.count)) {
        refuse({});  // past the area's size, as a PLC configured smaller answers
      } else if (r.kind == MessageKind::Read) {
        if (faults.refuseReads) {
          refuse({});
        } else {
          ++stats.reads;
          answer = readDataAnswer(r.sequence, memory.read(r.area, r.unit, r.index, r.count), cpuNow);
        }
      } else {
        if (faults.refuseWrites) {
          refuse({});
        } else {
          ++stats.writes;
          memory.write(r.area, r.unit, r.index, r.count, r.data.data());
          answer = statusAnswer(r.sequence, ge::kStatusInHeader, cpuNow);
        }
      }
    }
  }

  if (!answer.empty()) {
    ++c.answered;
    if (faults.wrongSequence) {
      ++answer[ge::kSequenceOffset];
      ++answer[ge::kSequenceCopyOffset];
    }
    if (faults.truncate) answer.resize(answer.size() - 8);
    const auto due = Clock::now() + std::chrono::milliseconds(faults.delayMs);
    if (faults.splitGapMs >= 0) {
      const std::size_t cut = answer.size() > ge::kHeaderSize ? ge::kHeaderSize : 28;
      const auto mid = answer.begin() + static_cast<std::ptrdiff_t>(cut);
      c.output.push_back({due, {answer.begin(), mid}, Pending::Action::Data});
      c.output.push_back({due + std::chrono::milliseconds(faults.splitGapMs), {mid, answer.end()},
                          Pending::Action::Data});
    } else {
      c.output.push_back({due, std::move(answer), Pending::Action::Data});
    }
  }
  record(std::move(entry));
}

void Simulator::Impl::flush(Connection& c, Clock::time_point now) {
  while (!c.dead && !c.output.empty() && c.output.front().due <= now) {
    Pending p = std::move(c.output.front());
    c.output.pop_front();
    if (p.action == Pending::Action::Reset) {
      const linger hard{1, 0};  // close with RST instead of FIN
      ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      c.dead = true;
    } else if (p.action == Pending::Action::Close) {
      c.dead = true;
    } else if (::send(c.fd, p.bytes.data(), p.bytes.size(), MSG_NOSIGNAL) !=
               static_cast<ssize_t>(p.bytes.size())) {
      c.dead = true;
    }
  }
}

void Simulator::Impl::animate() {
  std::lock_guard lock(mutex);
  if (animations.empty()) return;
  const auto elapsed = static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
  for (const Animation& a : animations) {
    const bool bits = configfile::isBitArea(a.area);
    for (std::uint32_t i = a.first; i <= a.last; ++i) {
      const auto index = static_cast<std::uint16_t>(i);
      if (bits) memory.setBit(a.area, index, animatedBit(a, index, elapsed));
      else memory.setWord(a.area, index, animatedValue(a, index, elapsed));
    }
  }
}

void Simulator::Impl::run() {
  std::vector<pollfd> fds;
  while (!stopping) {
    bool wantSilent;
    {
      std::lock_guard lock(mutex);
      wantSilent = options.faults.silentConnect;
    }
    if (wantSilent != listenerSilent) openListener(wantSilent, nullptr);

    auto now = Clock::now();
    int timeout = kTickMs;
    for (const Connection& c : connections) {
      if (c.output.empty()) continue;
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(c.output.front().due - now).count();
      timeout = std::clamp(static_cast<int>(wait), 0, timeout);
    }
    fds.clear();
    fds.push_back({wake[0], POLLIN, 0});
    fds.push_back({listenerSilent ? -1 : listener, POLLIN, 0});
    for (const Connection& c : connections) fds.push_back({c.fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;

    if (fds[0].revents) {
      char scrap[64];
      while (::read(wake[0], scrap, sizeof scrap) > 0) {
      }
    }
    if (fds[1].revents & POLLIN) acceptAll();
    for (std::size_t i = 0; i + 2 < fds.size() && i < connections.size(); ++i)
      if (fds[i + 2].revents) readFrom(connections[i]);
    now = Clock::now();
    for (Connection& c : connections) flush(c, now);
    for (Connection& c : connections)
      if (c.dead) ::close(c.fd);
    std::erase_if(connections, [](const Connection& c) { return c.dead; });
    openConnections = connections.size();
    animate();
  }
  for (Connection& c : connections) ::close(c.fd);
  connections.clear();
  openConnections = 0;
  closeListener();
}

Simulator::Simulator(Options options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->cpu = simulatedCpuStatus(impl_->options.cpuState);
}

Simulator::~Simulator() { stop(); }

bool Simulator::start(std::string* error) {
  if (impl_->thread.joinable()) return true;
  if (!impl_->openListener(impl_->options.faults.silentConnect, error)) return false;
  if (::pipe2(impl_->wake, O_CLOEXEC | O_NONBLOCK) < 0) {
    if (error) *error = errnoText("cannot create a pipe");
    impl_->closeListener();
    return false;
  }
  impl_->stopping = false;
  impl_->started = Clock::now();
  impl_->animate();
  impl_->thread = std::thread([this] { impl_->run(); });
  return true;
}

void Simulator::stop() {
  if (!impl_->thread.joinable()) return;
  impl_->stopping = true;
  const char byte = 1;
  [[maybe_unused]] const auto ignored = ::write(impl_->wake[1], &byte, 1);
  impl_->thread.join();
  ::close(impl_->wake[0]);
  ::close(impl_->wake[1]);
  impl_->wake[0] = impl_->wake[1] = -1;
}

bool Simulator::running() const { return impl_->thread.joinable(); }
const std::string& Simulator::address() const { return impl_->options.address; }

void Simulator::setRegister(std::uint16_t index, std::uint16_t value) { setWord(MemoryArea::R, index, value); }

void Simulator::setRegisters(std::uint16_t index, const std::vector<std::uint16_t>& values) {
  std::lock_guard lock(impl_->mutex);
  const std::size_t n = std::min(values.size(), kRegisterCount - index);
  for (std::size_t i = 0; i < n; ++i) impl_->memory.setWord(MemoryArea::R, static_cast<std::uint32_t>(index + i), values[i]);
}

std::uint16_t Simulator::registerValue(std::uint16_t index) const { return word(MemoryArea::R, index); }

std::vector<std::uint16_t> Simulator::registers(std::uint16_t index, std::size_t count) const {
  std::lock_guard lock(impl_->mutex);
  const std::size_t n = std::min(count, kRegisterCount - index);
  std::vector<std::uint16_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = impl_->memory.word(MemoryArea::R, static_cast<std::uint32_t>(index + i));
  return out;
}

void Simulator::setWord(MemoryArea area, std::uint16_t index, std::uint16_t value) {
  std::lock_guard lock(impl_->mutex);
  impl_->memory.setWord(area, index, value);
}

std::uint16_t Simulator::word(MemoryArea area, std::uint16_t index) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->memory.word(area, index);
}

void Simulator::setBit(MemoryArea area, std::uint16_t index, bool on) {
  std::lock_guard lock(impl_->mutex);
  impl_->memory.setBit(area, index, on);
}

bool Simulator::bit(MemoryArea area, std::uint16_t index) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->memory.bit(area, index);
}

void Simulator::setBytes(MemoryArea area, std::uint16_t byteIndex, const std::vector<std::uint8_t>& values) {
  std::lock_guard lock(impl_->mutex);
  for (std::size_t i = 0; i < values.size(); ++i)
    for (unsigned b = 0; b < 8; ++b)
      impl_->memory.setBit(area, static_cast<std::uint32_t>((byteIndex + i) * 8 + b), (values[i] >> b) & 1);
}

std::vector<std::uint8_t> Simulator::bytes(MemoryArea area, std::uint16_t byteIndex, std::size_t count) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<std::uint8_t> out(count, 0);
  for (std::size_t i = 0; i < count; ++i)
    for (unsigned b = 0; b < 8; ++b)
      if (impl_->memory.bit(area, static_cast<std::uint32_t>((byteIndex + i) * 8 + b)))
        out[i] = static_cast<std::uint8_t>(out[i] | (1u << b));
  return out;
}

void Simulator::setAreaSize(MemoryArea area, std::uint32_t units) {
  std::lock_guard lock(impl_->mutex);
  impl_->memory.setSize(area, units);
}

void Simulator::setCpuState(plc::CpuState state) {
  std::lock_guard lock(impl_->mutex);
  impl_->cpu = simulatedCpuStatus(state);
}

plc::CpuStatus Simulator::cpuStatus() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->cpu;
}

void Simulator::setFaults(const Faults& faults) {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->options.faults = faults;
  }
  if (impl_->wake[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto ignored = ::write(impl_->wake[1], &byte, 1);
  }
}

Faults Simulator::faults() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->options.faults;
}

void Simulator::addAnimation(const Animation& animation) {
  std::lock_guard lock(impl_->mutex);
  impl_->animations.push_back(animation);
}

void Simulator::clearAnimations() {
  std::lock_guard lock(impl_->mutex);
  impl_->animations.clear();
}

Stats Simulator::stats() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->stats;
}

std::vector<LoggedMessage> Simulator::log() const {
  std::lock_guard lock(impl_->mutex);
  return {impl_->log.begin(), impl_->log.end()};
}

void Simulator::clearLog() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

std::size_t Simulator::openConnections() const { return impl_->openConnections; }

void Simulator::setObserver(std::function<void(const LoggedMessage&)> observer) {
  std::lock_guard lock(impl_->mutex);
  impl_->observer = std::move(observer);
}

}  // namespace zentarc::plcsim
