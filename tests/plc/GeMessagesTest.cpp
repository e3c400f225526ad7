#include "server/plc/GeMessages.h"

#include <gtest/gtest.h>

#include <map>

namespace ge = zentarc::plc::ge;

namespace {

// A message of `size` bytes that is zero except at the given offsets.
std::vector<std::uint8_t> bytes(std::size_t size, const std::map<std::size_t, std::uint8_t>& set) {
  std::vector<std::uint8_t> m(size, 0);
  for (const auto& [offset, value] : set) m.at(offset) = value;
  return m;
}

std::vector<std::uint8_t> vec(const ge::Header& h) { return {h.begin(), h.end()}; }

}  // namespace

TEST(GeMessages, handshakeMessagesAreByteExact) {
  EXPECT_EQ(vec(ge::handshakeHello()), std::vector<std::uint8_t>(56, 0));
  EXPECT_EQ(vec(ge::handshakeOpen()),
            bytes(56, {{0, 0x08}, {2, 0x01}, {9, 0x01}, {17, 0x01}, {30, 0x01}, {31, 0xC0},
                       {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x4F}, {43, 0x01}}));
}

TEST(GeMessages, readRequestCarriesSequenceIndexAndCountLittleEndian) {
  EXPECT_EQ(vec(ge::readRequest(0x37, 0x1234, 0x0201)),
            bytes(56, {{0, 0x02}, {2, 0x37}, {9, 0x01}, {17, 0x01}, {30, 0x37}, {31, 0xC0},
                       {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x04}, {43, 0x08},
                       {44, 0x34}, {45, 0x12}, {46, 0x01}, {47, 0x02}}));
}

TEST(GeMessages, shortWriteOfFourFillsTheDataFieldAndLaterShortWritesKeepItsTail) {
  ge::ShortWriteField field{};
  const std::uint16_t four[] = {0x1111, 0x2222, 0x3333, 0x4444};
  const ge::Header w4 = ge::shortWriteRequest(5, 9, four, 4, field);
  EXPECT_EQ(vec(w4), bytes(56, {{0, 0x02}, {2, 5}, {9, 0x01}, {17, 0x01}, {30, 5}, {31, 0xC0},
                                {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x07}, {43, 0x08},
                                {44, 9}, {46, 4}, {48, 0x11}, {49, 0x11}, {50, 0x22}, {51, 0x22},
                                {52, 0x33}, {53, 0x33}, {54, 0x44}, {55, 0x44}}));

  const std::uint16_t one[] = {0xABCD};
  const ge::Header w1 = ge::shortWriteRequest(6, 0, one, 1, field);
  EXPECT_EQ(w1[46], 1);
  EXPECT_EQ(w1[48], 0xCD);
  EXPECT_EQ(w1[49], 0xAB);
  // Bytes beyond the one value keep what the write of four left there.
  EXPECT_EQ(w1[50], 0x22);
  EXPECT_EQ(w1[55], 0x44);
}

TEST(GeMessages, longWriteOfFiveIs66BytesWithItsDataLengthAtOffset4) {
  const std::uint16_t five[] = {1, 2, 3, 4, 0xFFFF};
  const auto m = ge::longWriteRequest(0xFE, 0x0102, five, 5);
  EXPECT_EQ(m, bytes(66, {{0, 0x02}, {2, 0xFE}, {4, 10}, {9, 0x02}, {17, 0x02}, {30, 0xFE},
                          {31, 0x80}, {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x32},
                          {48, 0x01}, {49, 0x01}, {50, 0x07}, {51, 0x08}, {52, 0x02}, {53, 0x01},
                          {54, 5}, {56, 1}, {58, 2}, {60, 3}, {62, 4}, {64, 0xFF}, {65, 0xFF}}));
  const std::vector<std::uint16_t> many(512, 0x0102);
  const auto big = ge::longWriteRequest(0, 0, many.data(), 512);
  EXPECT_EQ(big.size(), 56u + 1024u);
  EXPECT_EQ(ge::getWord(&big[4]), 1024);
}

TEST(GeMessages, threeRegistersComeInTheHeaderAndFourAfterIt) {
  EXPECT_EQ(ge::readResponseLength(3), 56u);
  EXPECT_EQ(ge::readResponseStatus(3), 0xD4);
  EXPECT_EQ(ge::readDataOffset(3), 44u);
  EXPECT_EQ(ge::readResponseLength(4), 64u);
  EXPECT_EQ(ge::readResponseStatus(4), 0x94);
  EXPECT_EQ(ge::readDataOffset(4), 56u);
  EXPECT_EQ(ge::readResponseLength(512), 56u + 1024u);
}

TEST(GeMessages, responseChecksGoLengthThenSequenceThenStatus) {
  using namespace zentarc::plc;
  auto answer = [](std::size_t size, std::uint8_t sequence, std::uint8_t status) {
    return bytes(size, {{2, sequence}, {31, status}});
  };
  auto check = [](const std::vector<std::uint8_t>& a, std::size_t expected, std::uint8_t status) {
    return ge::checkResponse(a.data(), a.size(), expected, 9, status);
  };
  EXPECT_EQ(check(answer(56, 9, 0xD4), 56, 0xD4), kOk);
  EXPECT_EQ(check(answer(64, 9, 0x94), 64, 0x94), kOk);
  EXPECT_EQ(check(answer(56, 9, 0xD1), 56, 0xD4), kRequestRefused);
  EXPECT_EQ(check(answer(56, 9, 0xD1), 64, 0x94), kBadResponse);  // length first
  EXPECT_EQ(check(answer(56, 8, 0xD1), 56, 0xD4), kBadResponse);  // then the sequence number
  EXPECT_EQ(check(answer(56, 9, 0x94), 56, 0xD4), kBadResponse);  // an unexpected status
  EXPECT_EQ(check(answer(48, 9, 0xD4), 56, 0xD4), kBadResponse);

  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 77, 0xD4).data(), 56), kOk);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0xD1).data(), 56), kHandshakeRefused);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0x00).data(), 56), kBadResponse);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0xD4).data(), 55), kBadResponse);
}
