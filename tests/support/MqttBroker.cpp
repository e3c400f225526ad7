#include "tests/support/MqttBroker.h"

#include <MQTTAsync.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <cstdlib>
#include <list>
#include <memory>
#include <thread>

extern char** environ;

namespace zentarc::testsupport {

namespace {

bool listening(const std::string& address, std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

// Runs a command to its end with its output in `log`; true when it exits 0.
bool run(std::vector<std::string> args, const std::string& log) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

MosquittoBroker::MosquittoBroker(BrokerSetup setup) : setup_(std::move(setup)) {}

MosquittoBroker::~MosquittoBroker() { stop(); }

std::string MosquittoBroker::url() const {
  return std::string(setup_.certFile.empty() ? "mqtt://" : "mqtts://") + setup_.address + ":" +
         std::to_string(setup_.port);
}

std::string MosquittoBroker::pahoUri() const {
  return std::string(setup_.certFile.empty() ? "tcp://" : "ssl://") + setup_.address + ":" +
         std::to_string(setup_.port);
}

std::string MosquittoBroker::log() const { return TempDir::read(dir_.file("mosquitto.log")); }

bool MosquittoBroker::start(std::string* error) {
  if (pid_ > 0) return true;
  std::string conf = "listener " + std::to_string(setup_.port) + " " + setup_.address + "\n";
  // Started as root, mosquitto would otherwise switch to its own user, who cannot read the
  // test's private folder.
  if (::geteuid() == 0) conf += "user root\n";
  conf += "persistence false\nlog_dest file " + dir_.file("mosquitto.log").string() + "\nlog_type all\n";
  if (!setup_.passwordFile.empty()) conf += "allow_anonymous false\npassword_file " + setup_.passwordFile + "\n";
  else conf += "allow_anonymous true\n";
  if (!setup_.certFile.empty()) {
    conf += "certfile " + setup_.certFile + "\nkeyfile " + setup_.keyFile + "\n";
    if (!setup_.caFile.empty()) conf += "cafile " + setup_.caFile + "\n";
    if (setup_.requireCertificate) conf += "require_certificate true\n";
  }
  conf += setup_.extraConfig;
  const std::string confPath = dir_.write("mosquitto.conf", conf).string();
  std::vector<std::string> args = {"mosquitto", "-c", confPath};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = dir_.file("stdout").string();
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawnp(&pid_, "mosquitto", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    if (error) *error = "mosquitto cannot be started (install it with scripts/install-deps.sh)";
    return false;
  }
  for (int waited = 0; waited < 10000; waited += 10) {
    if (listening(setup_.address, setup_.port)) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (error) *error = "mosquitto did not listen on " + url() + ": " + TempDir::read(out) + log();
  stop();
  return false;
}

void MosquittoBroker::end(int signal) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  ::kill(pid_, SIGCONT);  // a paused broker takes its signal only once it runs
  for (int waited = 0; waited < 10000; waited += 10) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void MosquittoBroker::stop() { end(SIGTERM); }
void MosquittoBroker::pause(bool paused) {
  if (pid_ > 0) ::kill(pid_, paused ? SIGSTOP : SIGCONT);
}
void MosquittoBroker::kill() { end(SIGKILL); }

bool makePasswordFile(const std::string& path, const std::string& user, const std::string& password) {
  return run({"mosquitto_passwd", "-c", "-b", path, user, password}, path + ".log");
}

bool makeTlsMaterial(const TempDir& dir, const std::string& host, std::string* error) {
  const std::string d = dir.path().string() + "/";
  const std::string log = d + "openssl.log";
  dir.write("broker.ext", "subjectAltName=IP:" + host + "\n");
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "ca.key", "-out", d + "ca.pem",
       "-days", "2", "-subj", "/CN=Test CA"},
      {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "other-ca.key", "-out",
       d + "other-ca.pem", "-days", "2", "-subj", "/CN=Other CA"},
      {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "broker.key", "-out", d + "broker.csr",
       "-subj", "/CN=" + host},
      {"openssl", "x509", "-req", "-in", d + "broker.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
       "-CAcreateserial", "-out", d + "broker.pem", "-days", "2", "-extfile", d + "broker.ext"},
      {"openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "client.key", "-out", d + "client.csr",
       "-subj", "/CN=opczentarc"},
      {"openssl", "x509", "-req", "-in", d + "client.csr", "-CA", d + "ca.pem", "-CAkey", d + "ca.key",
       "-CAcreateserial", "-out", d + "client.pem", "-days", "2"},
  };
  for (const auto& step : steps)
    if (!run(step, log)) {
      if (error) *error = "openssl failed: " + TempDir::read(log);
      return false;
    }
  return true;
}

// One call's outcome; kept by the client until its end, so a late answer finds it.
struct Outcome {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool ok = false;
};

struct MqttTestClient::Callbacks {
  static void succeeded(void* context, MQTTAsync_successData*) { finish(context, true); }
  static void failed(void* context, MQTTAsync_failureData*) { finish(context, false); }
  static void finish(void* context, bool ok) {
    auto* o = static_cast<Outcome*>(context);
    {
      std::lock_guard g(o->mutex);
      o->finished = true;
      o->ok = ok;
    }
    o->done.notify_all();
  }
  static void lost(void* context, char* cause) {
    if (cause) MQTTAsync_free(cause);
    auto* self = static_cast<MqttTestClient*>(context);
    std::lock_guard g(self->mutex_);
    self->connected_ = false;
  }
  static int arrived(void* context, char* topic, int topicLength, MQTTAsync_message* m) {
    auto* self = static_cast<MqttTestClient*>(context);
    ReceivedMessage r;
    r.topic.assign(topic, topicLength > 0 ? static_cast<std::size_t>(topicLength) : std::strlen(topic));
    r.payload.assign(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen));
    r.retained = m->retained != 0;
    r.at = std::chrono::system_clock::now();
    MQTTAsync_freeMessage(&m);
    MQTTAsync_free(topic);
    std::lock_guard g(self->mutex_);
    self->received_.push_back(std::move(r));
    return 1;
  }
};

namespace {

bool await(Outcome& o, int timeoutMs) {
  std::unique_lock lock(o.mutex);
  o.done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return o.finished; });
  return o.finished && o.ok;
}

}  // namespace

MqttTestClient::MqttTestClient(std::string pahoUri, std::string clientId) {
  MQTTAsync_createOptions options = MQTTAsync_createOptions_initializer;
  options.MQTTVersion = MQTTVERSION_3_1_1;
  options.maxBufferedMessages = 100000;  // the library's bound on calls not yet sent, also when connected
  MQTTAsync handle = nullptr;
  if (MQTTAsync_createWithOptions(&handle, pahoUri.c_str(), clientId.c_str(), MQTTCLIENT_PERSISTENCE_NONE, nullptr,
                                  &options) == MQTTASYNC_SUCCESS) {
    client_ = handle;
    MQTTAsync_setCallbacks(handle, this, &Callbacks::lost, &Callbacks::arrived, nullptr);
  }
}

MqttTestClient::~MqttTestClient() {
  // The outcomes go after the client, which may still answer a call that timed out.
  if (!client_) return;
  MQTTAsync handle = client_;
  MQTTAsync_destroy(&handle);
}

Outcome& MqttTestClient::newOutcome() {
  std::lock_guard g(mutex_);
  outcomes_.push_back(std::make_shared<Outcome>());
  return *outcomes_.back();
}

bool MqttTestClient::connect(int timeoutMs, const std::string& user, const std::string& password, const Tls* tls) {
  if (!client_) return false;
  Outcome& o = newOutcome();
  MQTTAsync_connectOptions c = MQTTAsync_connectOptions_initializer;
  c.MQTTVersion = MQTTVERSION_3_1_1;
  c.cleansession = 1;
  c.keepAliveInterval = 10;
  c.connectTimeout = std::max(1, timeoutMs / 1000);
  c.onSuccess = &Callbacks::succeeded;
  c.onFailure = &Callbacks::failed;
  c.context = &o;
  if (!user.empty()) {
    c.username = user.c_str();
    c.password = password.c_str();
  }
  MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
  if (tls) {
    ssl.trustStore = tls->caFile.c_str();
    if (!tls->certFile.empty()) ssl.keyStore = tls->certFile.c_str();
    if (!tls->keyFile.empty()) ssl.privateKey = tls->keyFile.c_str();
    c.ssl = &ssl;
  }
  if (MQTTAsync_connect(client_, &c) != MQTTASYNC_SUCCESS) return false;
  const bool ok = await(o, timeoutMs);
  std::lock_guard g(mutex_);
  connected_ = ok;
  return ok;
}

bool MqttTestClient::subscribe(const std::string& filter, int qos, int timeoutMs) {
  Outcome& o = newOutcome();
  MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
  r.onSuccess = &Callbacks::succeeded;
  r.onFailure = &Callbacks::failed;
  r.context = &o;
  if (MQTTAsync_subscribe(client_, filter.c_str(), qos, &r) != MQTTASYNC_SUCCESS) return false;
  return await(o, timeoutMs);
}

bool MqttTestClient::publish(const std::string& topic, const std::string& payload, bool retained, int qos,
                             int timeoutMs) {
  Outcome& o = newOutcome();
  MQTTAsync_responseOptions r = MQTTAsync_responseOptions_initializer;
  r.onSuccess = &Callbacks::succeeded;
  r.onFailure = &Callbacks::failed;
  r.context = &o;
  MQTTAsync_message m = MQTTAsync_message_initializer;
  m.payload = const_cast<char*>(payload.data());
  m.payloadlen = static_cast<int>(payload.size());
  m.qos = qos;
  m.retained = retained ? 1 : 0;
  if (MQTTAsync_sendMessage(client_, topic.c_str(), &m, &r) != MQTTASYNC_SUCCESS) return false;
  return qos == 0 || await(o, timeoutMs);
}

void MqttTestClient::disconnect() {
  if (!client_) return;
  Outcome& o = newOutcome();
  MQTTAsync_disconnectOptions d = MQTTAsync_disconnectOptions_initializer;
  d.timeout = 1000;
  d.onSuccess = &Callbacks::succeeded;
  d.onFailure = &Callbacks::failed;
  d.context = &o;
  if (MQTTAsync_disconnect(client_, &d) == MQTTASYNC_SUCCESS) await(o, 3000);
  std::lock_guard g(mutex_);
  connected_ = false;
}

bool MqttTestClient::connected() const {
  std::lock_guard g(mutex_);
  return connected_;
}

std::vector<ReceivedMessage> MqttTestClient::messages() const {
  std::lock_guard g(mutex_);
  return received_;
}

std::vector<ReceivedMessage> MqttTestClient::messagesOn(const std::string& topic) const {
  std::vector<ReceivedMessage> out;
  std::lock_guard g(mutex_);
  for (const auto& m : received_)
    if (m.topic == topic) out.push_back(m);
  return out;
}

std::optional<ReceivedMessage> MqttTestClient::last(const std::string& topic) const {
  std::lock_guard g(mutex_);
  for (auto it = received_.rbegin(); it != received_.rend(); ++it)
    if (it->topic == topic) return *it;
  return std::nullopt;
}

void MqttTestClient::clear() {
  std::lock_guard g(mutex_);
  received_.clear();
}

bool MqttTestClient::waitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
                             std::chrono::milliseconds limit) const {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (done(messages())) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool MqttTestClient::waitForMessage(const std::string& topic, const std::function<bool(const ReceivedMessage&)>& match,
                                    std::chrono::milliseconds limit) const {
  return waitFor(
      [&](const std::vector<ReceivedMessage>& all) {
        for (const auto& m : all)
          if (m.topic == topic && match(m)) return true;
        return false;
      },
      limit);
}

}  // namespace zentarc::testsupport
