#include "tests/mqtt/sparkplug/NpmDecoder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cmath>
#include <sstream>
#include <thread>

#include "tests/support/TempDir.h"

extern char** environ;

namespace zentarc::testsupport {

namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string level(const std::string& topic, std::size_t index) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < index; ++i) {
    start = topic.find('/', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  return topic.substr(start, topic.find('/', start) - start);
}

}  // namespace

std::vector<SparkplugMessage> decodeSparkplug(const std::vector<ReceivedMessage>& messages) {
  TempDir dir;
  std::string input;
  for (const ReceivedMessage& m : messages) input += hex(m.payload) + "\n";
  const std::string in = dir.write("in.txt", input).string();
  const std::string out = dir.file("out.txt").string();
  std::vector<std::string> args = {ZENTARC_NODE, ZENTARC_SPARKPLUG_DECODER};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  std::vector<SparkplugMessage> decoded;
  if (rc != 0) return decoded;
  int status = 0;
  bool ended = false;
  for (int waited = 0; waited < 30000 && !ended; waited += 10) {
    ended = ::waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return decoded;
  }
  std::istringstream lines(TempDir::read(out));
  std::string line;
  for (const ReceivedMessage& m : messages) {
    if (!std::getline(lines, line)) break;
    SparkplugMessage s;
    s.topic = m.topic;
    s.type = level(m.topic, 2);
    s.device = level(m.topic, 4);
    s.retained = m.retained;
    std::string error;
    mqtt::json::parse(line, s.payload, error);
    decoded.push_back(std::move(s));
  }
  return decoded;
}

const mqtt::json::Value* metricNamed(const mqtt::json::Value& payload, const std::string& name) {
  const mqtt::json::Value* metrics = payload.member("metrics");
  if (!metrics) return nullptr;
  for (const auto& m : metrics->items) {
    const mqtt::json::Value* n = m.member("name");
    if (n && n->kind == mqtt::json::Value::Kind::String && n->text == name) return &m;
  }
  return nullptr;
}

const mqtt::json::Value* metricWithAlias(const mqtt::json::Value& payload, double alias) {
  const mqtt::json::Value* metrics = payload.member("metrics");
  if (!metrics) return nullptr;
  for (const auto& m : metrics->items)
    if (number(m, "alias") == alias) return &m;
  return nullptr;
}

double number(const mqtt::json::Value& object, const std::string& member) {
  const mqtt::json::Value* v = object.member(member);
  return v && v->kind == mqtt::json::Value::Kind::Number ? v->number : std::nan("");
}

}  // namespace zentarc::testsupport
