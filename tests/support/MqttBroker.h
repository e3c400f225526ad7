#pragma once
// A real mosquitto broker for a test or benchmark: its own configuration in a temp folder,
// its own loopback address and port, started and stopped by its PID; and a plain MQTT client
// (Paho) that subscribes, publishes and keeps what it receives.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace zentarc::testsupport {

struct Outcome;

struct BrokerSetup {
  std::string address = "127.0.0.1";
  // Not 1883: a broker installed on the machine listens there on loopback.
  std::uint16_t port = 18831;
  // TLS: the broker's certificate and key, and the CA a client certificate must come from
  // (requireCertificate).
  std::string certFile, keyFile, caFile;
  bool requireCertificate = false;
  // Users: a mosquitto password file; anonymous clients are refused when one is given.
  std::string passwordFile;
  std::string extraConfig;  // more lines for mosquitto.conf
};

class MosquittoBroker {
 public:
  explicit MosquittoBroker(BrokerSetup setup);
  ~MosquittoBroker();
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  // Starts it and waits (at most 10 s) until it listens; false with its log otherwise.
  bool start(std::string* error = nullptr);
  // SIGTERM and wait; kill(): SIGKILL, as a crash would end it.
  void stop();
  void kill();
  // SIGSTOP / SIGCONT: a broker that holds its connections but answers nothing meanwhile.
  void pause(bool paused);
  bool running() const { return pid_ > 0; }
  const BrokerSetup& setup() const { return setup_; }
  std::string url() const;      // mqtt:// or mqtts://
  std::string pahoUri() const;  // tcp:// or ssl://
  std::string log() const;

 private:
  void end(int signal);

  BrokerSetup setup_;
  TempDir dir_;
  pid_t pid_ = -1;
};

// A password file with one user, made with mosquitto_passwd.
bool makePasswordFile(const std::string& path, const std::string& user, const std::string& password);

// A CA, a broker certificate for `host` (an IP address) and a client certificate, made with
// the openssl command in `dir`: ca.pem, broker.pem, broker.key, client.pem, client.key, and
// other-ca.pem (a CA that signed nothing here).
bool makeTlsMaterial(const TempDir& dir, const std::string& host, std::string* error = nullptr);

struct ReceivedMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
  std::chrono::system_clock::time_point at;
};

class MqttTestClient {
 public:
  struct Tls {
    std::string caFile, certFile, keyFile;
  };
  MqttTestClient(std::string pahoUri, std::string clientId);
  ~MqttTestClient();
  MqttTestClient(const MqttTestClient&) = delete;
  MqttTestClient& operator=(const MqttTestClient&) = delete;

  // A clean session; waits at most timeoutMs.
  bool connect(int timeoutMs = 5000, const std::string& user = "", const std::string& password = "",
               const Tls* tls = nullptr);
  bool subscribe(const std::string& filter, int qos = 1, int timeoutMs = 5000);
  bool publish(const std::string& topic, const std::string& payload, bool retained = false, int qos = 1,
               int timeoutMs = 5000);
  void disconnect();
  bool connected() const;

  std::vector<ReceivedMessage> messages() const;
  std::vector<ReceivedMessage> messagesOn(const std::string& topic) const;
  std::optional<ReceivedMessage> last(const std::string& topic) const;
  void clear();
  // Looks every 5 ms for at most `limit` until `done` holds for what was received.
  bool waitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
               std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const;
  bool waitForMessage(const std::string& topic, const std::function<bool(const ReceivedMessage&)>& match,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) const;

 private:
  struct Callbacks;
  Outcome& newOutcome();

  std::list<std::shared_ptr<Outcome>> outcomes_;  // declared first: destroyed after the client
  void* client_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<ReceivedMessage> received_;
  bool connected_ = false;
};

}  // namespace zentarc::testsupport
