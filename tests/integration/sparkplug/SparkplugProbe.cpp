// Our Sparkplug B encoder and decoder for a test that checks them against a decoder we did
// not write (sparkplug-payload from npm).
//   sparkplug_probe samples   prints "<name> <hex>" lines: payloads as the edge node sends them
//   sparkplug_probe decode    reads hex payloads, one a line, and prints each as JSON
#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "server/mqtt/sparkplug/Payload.h"

using namespace zentarc::mqtt::sparkplug;

namespace {

constexpr std::uint64_t kSent = 1765102530999;
constexpr std::uint64_t kRead = 1765102530123;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool unhex(const std::string& text, std::string& out) {
  if (text.size() % 2 != 0) return false;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out.clear();
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

template <class E>
SOCmnVariant array(VARTYPE element, std::initializer_list<E> items) {
  return SOCmnVariant::fromArray<E>(element, std::span<const E>(items.begin(), items.size()));
}

Metric metric(std::string name, std::optional<std::uint64_t> alias, DataType type, std::uint64_t timestamp,
              MetricValue value) {
  Metric m;
  m.name = std::move(name);
  m.alias = alias;
  m.datatype = type;
  m.timestamp = timestamp;
  m.value = std::move(value);
  return m;
}

Metric tag(std::string name, std::uint64_t alias, const SOCmnVariant& v) {
  return metric(std::move(name), alias, dataTypeOf(v.vt()), kRead, v);
}

Payload payload(std::optional<std::uint64_t> seq, std::vector<Metric> metrics) {
  Payload p;
  p.timestamp = kSent;
  p.seq = seq;
  p.metrics = std::move(metrics);
  return p;
}

void printSamples() {
  const VARIANT_BOOL t = VARIANT_TRUE, f = VARIANT_FALSE;
  const Payload node = payload(0, {metric("bdSeq", 0, DataType::UInt64, kSent, std::uint64_t{3}),
                                   metric("Node Control/Rebirth", 1, DataType::Boolean, kSent, false)});
  const Payload birth = payload(1, {
      tag("I2", 11, SOCmnVariant::fromI2(-5)),
      tag("UI2", 12, SOCmnVariant::fromUI2(65535)),
      tag("I4", 13, SOCmnVariant::fromI4(-70000)),
      tag("UI4", 14, SOCmnVariant::fromUI4(4000000000u)),
      tag("R4", 15, SOCmnVariant::fromR4(1.5f)),
      tag("BOOL", 16, SOCmnVariant::fromBool(true)),
      tag("STR", 17, SOCmnVariant::fromBstr(std::u16string(u"Caf\u00e9\0", 5))),
      tag("A_I1", 18, array<std::int8_t>(VT_I1, {-1, 2})),
      tag("A_UI1", 19, array<std::uint8_t>(VT_UI1, {255, 0})),
      tag("A_I2", 20, array<std::int16_t>(VT_I2, {-300, 300})),
      tag("A_UI2", 21, array<std::uint16_t>(VT_UI2, {65535, 1})),
      tag("A_I4", 22, array<std::int32_t>(VT_I4, {-70000, 5})),
      tag("A_UI4", 23, array<std::uint32_t>(VT_UI4, {4000000000u, 1})),
      tag("A_R4", 24, array<float>(VT_R4, {0.5f, -2.0f})),
      tag("A_BOOL", 25, array<VARIANT_BOOL>(VT_BOOL, {t, f, t, f, f, f, f, f, t})),
      metric("Diagnostics/State", 26, DataType::String, kRead, std::string("working")),
  });
  Metric bad = tag("", 11, SOCmnVariant::fromI2(0));
  bad.isNull = true;
  bad.quality = kQualityBad;
  Metric old = tag("", 12, SOCmnVariant::fromUI2(7));
  old.isHistorical = true;
  const Payload data = payload(2, {bad, old, tag("", 15, SOCmnVariant::fromR4(std::nanf("")))});
  const Payload death = payload(std::nullopt, {metric("bdSeq", std::nullopt, DataType::UInt64, kSent, std::uint64_t{3})});
  std::cout << "node " << hex(encodePayload(node)) << "\n"
            << "birth " << hex(encodePayload(birth)) << "\n"
            << "data " << hex(encodePayload(data)) << "\n"
            << "death " << hex(encodePayload(death)) << "\n";
}

void appendString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

void appendNumber(std::string& out, double d) {
  if (!std::isfinite(d)) {
    appendString(out, std::isnan(d) ? "NaN" : (d > 0 ? "Infinity" : "-Infinity"));
    return;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", d);
  out += buf;
}

template <class E>
void appendElements(std::string& out, const SOCmnVariant& v) {
  out += '[';
  bool first = true;
  for (E e : v.arrayData<E>()) {
    if (!first) out += ',';
    first = false;
    if constexpr (std::is_same_v<E, VARIANT_BOOL>) out += e != VARIANT_FALSE ? "true" : "false";
    else appendNumber(out, static_cast<double>(e));
  }
  out += ']';
}

void appendValue(std::string& out, const MetricValue& value) {
  if (std::holds_alternative<std::monostate>(value)) out += "null";
  else if (const auto* b = std::get_if<bool>(&value)) out += *b ? "true" : "false";
  else if (const auto* i = std::get_if<std::int64_t>(&value)) out += std::to_string(*i);
  else if (const auto* u = std::get_if<std::uint64_t>(&value)) out += std::to_string(*u);
  else if (const auto* fl = std::get_if<float>(&value)) appendNumber(out, *fl);
  else if (const auto* d = std::get_if<double>(&value)) appendNumber(out, *d);
  else if (const auto* s = std::get_if<std::string>(&value)) appendString(out, *s);
  else {
    const SOCmnVariant& v = std::get<SOCmnVariant>(value);
    switch (v.arrayElementType()) {
      case VT_I1: appendElements<std::int8_t>(out, v); break;
      case VT_UI1: appendElements<std::uint8_t>(out, v); break;
      case VT_I2: appendElements<std::int16_t>(out, v); break;
      case VT_UI2: appendElements<std::uint16_t>(out, v); break;
      case VT_I4: appendElements<std::int32_t>(out, v); break;
      case VT_UI4: appendElements<std::uint32_t>(out, v); break;
      case VT_R4: appendElements<float>(out, v); break;
      case VT_BOOL: appendElements<VARIANT_BOOL>(out, v); break;
      default: out += "null"; break;
    }
  }
}

std::string toJson(const Payload& p) {
  std::string out = "{\"seq\":";
  out += p.seq ? std::to_string(*p.seq) : "null";
  out += ",\"timestamp\":";
  out += p.timestamp ? std::to_string(*p.timestamp) : "null";
  out += ",\"metrics\":[";
  for (std::size_t i = 0; i < p.metrics.size(); ++i) {
    const Metric& m = p.metrics[i];
    if (i) out += ',';
    out += "{\"name\":";
    appendString(out, m.name);
    out += ",\"alias\":";
    out += m.alias ? std::to_string(*m.alias) : "null";
    out += ",\"datatype\":" + std::to_string(static_cast<std::uint32_t>(m.datatype));
    out += ",\"isNull\":";
    out += m.isNull ? "true" : "false";
    out += ",\"value\":";
    appendValue(out, m.value);
    out += '}';
  }
  out += "]}";
  return out;
}

int decodeLines() {
  std::string line, bytes;
  while (std::getline(std::cin, line)) {
    Payload p;
    std::string error;
    if (!unhex(line, bytes)) error = "not hex";
    else if (decodePayload(bytes, p, error)) error.clear();
    if (error.empty()) std::cout << toJson(p) << "\n";
    else {
      std::string e = "{\"error\":";
      appendString(e, error);
      std::cout << e << "}\n";
    }
    std::cout.flush();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "samples") {
    printSamples();
    return 0;
  }
  if (mode == "decode") return decodeLines();
  std::cerr << "usage: sparkplug_probe samples|decode\n";
  return 2;
}
