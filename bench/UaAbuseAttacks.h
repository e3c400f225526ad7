#pragma once
// The attacks of bench_ua_abuse, each as an attacker on the same network would run it: with
// no credentials at all (channels without security, which a secure server keeps open for
// discovery), or as a trusted application with the anonymous identity. Each runs until told
// to stop and counts what it tried and what the server refused or cut off.
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "server/toolkit/ua/UaClient.h"

namespace zentarc::bench::abuse {

// What the attackers know of the server.
struct Target {
  std::string url;
  int port = 0;
  // The trusted application's certificate and key (anonymous identity).
  ua::Certificate certificate;
  ua::crypto::Key key;
  std::string applicationUri;
  // Tags: T0..T<tags-1> (Int32, changing every 100 ms), Big0..Big63 (arrays of 32,768 Int32,
  // answered by the "device" after 20 ms), Slow0..Slow99 (Int32, answered after 2 s).
  int tags = 10000;
  ua::UaClientOptions trusted() const;
};

struct Tally {
  std::atomic<long> tries{0}, refused{0}, cut{0};
};

// One attacker thread; `index` tells threads of the same attack apart (their addresses).
using Attack = std::function<void(const Target&, int index, const std::atomic<bool>& stop, Tally&)>;

struct AttackKind {
  const char* name;
  Attack run;
  int threads;
};

// Every attack, in the order the phases run them.
const std::vector<AttackKind>& attacks();

// Sleeps up to `d`, waking early when stop is set.
void pause(const std::atomic<bool>& stop, std::chrono::milliseconds d);

}  // namespace zentarc::bench::abuse
