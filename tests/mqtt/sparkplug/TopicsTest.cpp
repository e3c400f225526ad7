// The Sparkplug topic namespace: our topics, commands addressed to us, and ids we refuse.
#include <gtest/gtest.h>

#include "server/mqtt/sparkplug/Topics.h"

using namespace zentarc::mqtt::sparkplug;

TEST(SparkplugTopics, nodeDeviceAndStateTopics) {
  EXPECT_EQ(topicOf("OPCZentarc", MessageType::NBIRTH, "edge1"), "spBv1.0/OPCZentarc/NBIRTH/edge1");
  EXPECT_EQ(topicOf("G", MessageType::DDATA, "edge1", "Line 1"), "spBv1.0/G/DDATA/edge1/Line 1");
  EXPECT_EQ(stateTopic("scada"), "spBv1.0/STATE/scada");
}

TEST(SparkplugTopics, onlyCommandsForThisNodeAndItsDevicesAreRecognised) {
  auto c = parseCommandTopic("spBv1.0/G/NCMD/edge1", "G", "edge1");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->type, MessageType::NCMD);
  c = parseCommandTopic("spBv1.0/G/DCMD/edge1/Line 1", "G", "edge1");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->type, MessageType::DCMD);
  EXPECT_EQ(c->device, "Line 1");

  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/NCMD/edge10", "G", "edge1"));  // another node
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/NCMD/edge1/x", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/H/NCMD/edge1", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/DDATA/edge1/Line 1", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/DCMD/edge1", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/DCMD/edge1/", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/DCMD/edge1/a/b", "G", "edge1"));
  EXPECT_FALSE(parseCommandTopic("spBv1.0/G/DCMD/edge1x/a", "G", "edge1"));
}

TEST(SparkplugTopics, idsThatCannotBeOneLevelAreNamed) {
  EXPECT_EQ(idProblem("Line 1"), "");
  EXPECT_EQ(idProblem("Caf\xC3\xA9"), "");
  EXPECT_EQ(idProblem(""), "is empty");
  EXPECT_EQ(idProblem("a/b"), "holds '/'");
  EXPECT_EQ(idProblem("a+"), "holds '+'");
  EXPECT_EQ(idProblem("#"), "holds '#'");
  EXPECT_EQ(idProblem("a\tb"), "holds a control character");
  EXPECT_EQ(idProblem("a\x7F"), "holds a control character");
}
