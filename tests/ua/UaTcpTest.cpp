#include <gtest/gtest.h>

#include "server/toolkit/ua/EndpointUrl.h"
#include "server/toolkit/ua/UaTcp.h"

using namespace zentarc::ua;

TEST(UaTcp, sequenceNumbers_wrapOnlyAfterTheLimit) {
  EXPECT_TRUE(sequenceNumberFollows(1, 2));
  EXPECT_FALSE(sequenceNumberFollows(2, 2));
  EXPECT_FALSE(sequenceNumberFollows(2, 4));
  EXPECT_EQ(nextSequenceNumber(4294966271u), 1u);
  EXPECT_TRUE(sequenceNumberFollows(4294966271u, 1));
  EXPECT_FALSE(sequenceNumberFollows(1000, 1));
}

TEST(UaTcp, assembler_abortDropsAndLimitsHold) {
  MessageAssembler a(ChunkLimits{8192, 2, 0});
  std::string out;
  uint32_t seq = 1;
  appendSymmetricChunks(out, "MSG", 1, 1, seq, 7, std::string(20000, 'x'), ChunkLimits{8192, 0, 0});
  Chunk c = parseChunk(out.data(), parseTcpHeader(out.data()).size);
  EXPECT_FALSE(a.add(c).has_value());
  Chunk abort = c;
  abort.header.chunk = 'A';
  EXPECT_FALSE(a.add(abort).has_value());
  // After the abort the same request id starts afresh: two chunks pass, a third is too many.
  EXPECT_FALSE(a.add(c).has_value());
  EXPECT_FALSE(a.add(c).has_value());
  EXPECT_THROW(a.add(c), UaError);
  // The second chunk breaks the size limit.
  MessageAssembler small(ChunkLimits{8192, 0, 10000});
  EXPECT_FALSE(small.add(c).has_value());
  EXPECT_THROW(small.add(c), UaError);
}

TEST(UaTcp, plainChunk_carriesItsHeadersAndBodyAfterWhatIsAlreadyThere) {
  std::string out = "before";
  appendPlainChunk(out, "MSG", 'C', 5, 6, 7, 8, "body");
  ASSERT_EQ(out.size(), 6u + 24u + 4u);
  const Chunk c = parseChunk(out.data() + 6, out.size() - 6);
  EXPECT_EQ(c.header.type, "MSG");
  EXPECT_EQ(c.header.chunk, 'C');
  EXPECT_EQ(c.header.size, 28u);
  EXPECT_EQ(c.channelId, 5u);
  EXPECT_EQ(c.tokenId, 6u);
  EXPECT_EQ(c.sequenceNumber, 7u);
  EXPECT_EQ(c.requestId, 8u);
  EXPECT_EQ(c.body, "body");
}

TEST(UaTcp, parseChunk_rejectsLiesAboutItsSize) {
  std::string out;
  uint32_t seq = 1;
  appendSymmetricChunks(out, "MSG", 1, 1, seq, 7, "abc", ChunkLimits{});
  EXPECT_NO_THROW(parseChunk(out.data(), out.size()));
  EXPECT_THROW(parseChunk(out.data(), out.size() - 1), UaError);
  EXPECT_THROW(parseChunk(out.data(), 12), UaError);  // header says more than given
  std::string shortChunk = "MSGF";
  uint32_t n = 12;
  shortChunk.append(reinterpret_cast<char*>(&n), 4);
  shortChunk.append(4, '\0');
  EXPECT_THROW(parseChunk(shortChunk.data(), shortChunk.size()), UaError);
}

TEST(UaTcp, endpointUrls) {
  auto a = parseEndpointUrl("opc.tcp://127.0.0.1:28400/path");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->host, "127.0.0.1");
  EXPECT_EQ(a->port, 28400);
  EXPECT_EQ(a->path, "/path");
  EXPECT_EQ(parseEndpointUrl("opc.tcp://plant")->port, 4840);
  EXPECT_EQ(parseEndpointUrl("opc.tcp://[::1]:5000")->host, "::1");
  for (const char* bad : {"http://x:1", "opc.tcp://", "opc.tcp://:1", "opc.tcp://h:70000",
                          "opc.tcp://h:x", "opc.tcp://h:"})
    EXPECT_FALSE(parseEndpointUrl(bad)) << bad;
}
