// The parts of the Sparkplug session that need no broker: aliases across the node, and a
// primary host's STATE as it is read.
#include <gtest/gtest.h>

#include <set>

#include "server/mqtt/sparkplug/HostState.h"
#include "server/mqtt/sparkplug/MetricCatalogue.h"

using namespace zentarc::mqtt;
using namespace zentarc::mqtt::sparkplug;

namespace {

PublishedPlant plantOf(const std::vector<std::pair<std::string, std::size_t>>& tags, std::size_t plcs) {
  PublishedPlant p;
  for (std::size_t i = 0; i < plcs; ++i) p.plcs.push_back("PLC" + std::to_string(i));
  for (const auto& [name, plc] : tags) {
    PublishedTag t;
    t.tag = SOCmnPointer<SODaSTag>(new SODaSTag());
    t.tag->setName(name);
    t.plc = plc;
    t.type = VT_I2;
    p.tags.push_back(std::move(t));
  }
  return p;
}

}  // namespace

TEST(SparkplugCatalogue, aliasesAreUniqueAcrossTheNodeAndLeadBackToTheirMetric) {
  // Tags of two PLCs interleaved in load order, and a PLC without tags.
  const PublishedPlant plant = plantOf({{"a", 0}, {"b", 1}, {"c", 0}, {"a", 1}}, 3);
  const MetricCatalogue c(plant);
  std::set<std::uint64_t> seen;
  for (std::size_t i = 0; i < kNodeMetrics; ++i) seen.insert(MetricCatalogue::nodeAlias(static_cast<NodeMetric>(i)));
  for (std::size_t p = 0; p < 3; ++p)
    for (std::size_t f = 0; f < kDiagnosticsMetrics; ++f) {
      const std::uint64_t alias = c.diagnosticsAlias(p, f);
      EXPECT_TRUE(seen.insert(alias).second) << alias;
      const auto e = c.byAlias(alias);
      ASSERT_TRUE(e);
      EXPECT_EQ(e->kind, MetricCatalogue::Kind::Diagnostics);
      EXPECT_EQ(e->plc, p);
      EXPECT_EQ(e->index, f);
    }
  for (std::size_t t = 0; t < plant.tags.size(); ++t) {
    const std::uint64_t alias = c.tagAlias(t);
    EXPECT_TRUE(seen.insert(alias).second) << alias;
    const auto e = c.byAlias(alias);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, MetricCatalogue::Kind::Tag);
    EXPECT_EQ(e->index, t);
    EXPECT_EQ(e->plc, plant.tags[t].plc);
  }
  EXPECT_FALSE(c.byAlias(*seen.rbegin() + 1));
  EXPECT_EQ(c.byAlias(1)->kind, MetricCatalogue::Kind::Node);
  // Names are per device: "a" of PLC1 is not "a" of PLC0.
  EXPECT_EQ(c.tagByName(0, "a"), 0u);
  EXPECT_EQ(c.tagByName(1, "a"), 3u);
  EXPECT_FALSE(c.tagByName(2, "a"));
  EXPECT_EQ(c.plcByName("PLC2"), 2u);
  EXPECT_FALSE(c.plcByName("plc2"));
}

TEST(SparkplugHostState, onlyTheSparkplug3ObjectIsTaken) {
  HostState s;
  std::string error;
  ASSERT_TRUE(parseHostState(R"({"online": true, "timestamp": 1765102530123})", s, error)) << error;
  EXPECT_TRUE(s.online);
  EXPECT_EQ(s.timestamp, 1765102530123u);
  ASSERT_TRUE(parseHostState(R"({"timestamp":5,"online":false})", s, error));
  EXPECT_FALSE(s.online);
  for (const char* bad : {"ONLINE", R"({"online":"true","timestamp":1})", R"({"online":true})",
                          R"({"online":true,"timestamp":-1})", R"({"online":true,"timestamp":1.5})", "[true,1]", ""})
    EXPECT_FALSE(parseHostState(bad, s, error)) << bad;
}
