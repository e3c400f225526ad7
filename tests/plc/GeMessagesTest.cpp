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
  // A refusal carries no data: whole at 56 bytes where data after the header was expected.
  EXPECT_EQ(check(answer(56, 9, 0xD1), 64, 0x94), kRequestRefused);
  EXPECT_EQ(check(answer(56, 8, 0xD1), 64, 0x94), kBadResponse);  // but of another request
  EXPECT_EQ(check(answer(56, 9, 0xD4), 64, 0x94), kBadResponse);  // length first
  EXPECT_EQ(check(answer(56, 8, 0xD1), 56, 0xD4), kBadResponse);  // then the sequence number
  EXPECT_EQ(check(answer(56, 9, 0x94), 56, 0xD4), kBadResponse);  // an unexpected status
  EXPECT_EQ(check(answer(48, 9, 0xD4), 56, 0xD4), kBadResponse);

  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 77, 0xD4).data(), 56), kOk);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0xD1).data(), 56), kHandshakeRefused);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0x00).data(), 56), kBadResponse);
  EXPECT_EQ(ge::checkHandshakeResponse(answer(56, 1, 0xD4).data(), 55), kBadResponse);
}

// The same messages for the other areas: the selector byte chooses the area and the unit of
// address and count; the data is counted in bytes whatever the unit.
TEST(GeMessages, readRequestsCarryTheSelectorOfTheirAreaAndUnit) {
  const auto word = ge::readRequest(5, 0x0A, 4, 2);  // %AI5-%AI6
  EXPECT_EQ(word[43], 0x0A);
  EXPECT_EQ(word[44], 4);
  EXPECT_EQ(word[46], 2);
  const auto byte = ge::readRequest(5, 0x10, 2, 3);  // %I17-%I40 as bytes 2 to 4
  EXPECT_EQ(vec(byte), bytes(56, {{0, 0x02}, {2, 5}, {9, 0x01}, {17, 0x01}, {30, 5}, {31, 0xC0},
                                  {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x04}, {43, 0x10},
                                  {44, 2}, {46, 3}}));
  EXPECT_EQ(ge::readRequest(5, 0x46, 16, 1)[43], 0x46);  // %I17 alone, in bit mode
  // %R is selector 0x08, byte for byte as the register form.
  EXPECT_EQ(vec(ge::readRequest(7, 0x08, 9, 3)), vec(ge::readRequest(7, 9, 3)));
}

TEST(GeMessages, dataBytesCountWordsTwiceAndBitsByTheBytesTheyTouch) {
  EXPECT_EQ(ge::dataBytes(ge::Unit::Word, 0, 3), 6u);
  EXPECT_EQ(ge::dataBytes(ge::Unit::Byte, 5, 3), 3u);
  EXPECT_EQ(ge::dataBytes(ge::Unit::Bit, 16, 1), 1u);   // %I17
  EXPECT_EQ(ge::dataBytes(ge::Unit::Bit, 23, 2), 2u);   // %I24-%I25 straddle two bytes
  EXPECT_EQ(ge::dataBytes(ge::Unit::Bit, 3, 13), 2u);   // bits 3..15
  EXPECT_EQ(ge::dataBytes(ge::Unit::Bit, 3, 14), 3u);
  // Six bytes come back inside the header, seven after it with their length.
  EXPECT_EQ(ge::readAnswerLength(6), 56u);
  EXPECT_EQ(ge::readAnswerStatus(6), 0xD4);
  EXPECT_EQ(ge::readAnswerDataOffset(6), 44u);
  EXPECT_EQ(ge::readAnswerLength(7), 63u);
  EXPECT_EQ(ge::readAnswerStatus(7), 0x94);
  EXPECT_EQ(ge::readAnswerDataOffset(7), 56u);
}

TEST(GeMessages, writesOfUpToEightDataBytesGoInTheHeaderAndLongerOnesAfterIt) {
  ge::ShortWriteField field{};
  const std::uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto full = ge::shortWriteRequest(3, 0x12, 10, 8, eight, 8, field);  // %Q81-%Q144 as bytes
  EXPECT_EQ(vec(full), bytes(56, {{0, 0x02}, {2, 3}, {9, 0x01}, {17, 0x01}, {30, 3}, {31, 0xC0},
                                  {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x07}, {43, 0x12},
                                  {44, 10}, {46, 8}, {48, 1}, {49, 2}, {50, 3}, {51, 4}, {52, 5}, {53, 6},
                                  {54, 7}, {55, 8}}));
  // A bit write of %Q3: one data byte with the value at bit 2; the field's tail is kept.
  const std::uint8_t bit[] = {0x04};
  const auto one = ge::shortWriteRequest(4, 0x48, 2, 1, bit, 1, field);
  EXPECT_EQ(one[43], 0x48);
  EXPECT_EQ(one[44], 2);
  EXPECT_EQ(one[46], 1);
  EXPECT_EQ(one[48], 0x04);
  EXPECT_EQ(one[49], 2);

  const std::uint8_t nine[] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  const auto m = ge::longWriteRequest(6, 0x16, 1, 9, nine, 9);  // %M9-%M80 as bytes
  EXPECT_EQ(m, bytes(65, {{0, 0x02}, {2, 6}, {4, 9}, {9, 0x02}, {17, 0x02}, {30, 6}, {31, 0x80},
                          {36, 0x10}, {37, 0x0E}, {40, 0x01}, {41, 0x01}, {42, 0x32}, {48, 0x01}, {49, 0x01},
                          {50, 0x07}, {51, 0x16}, {52, 1}, {54, 9}, {56, 9}, {57, 8}, {58, 7}, {59, 6},
                          {60, 5}, {61, 4}, {62, 3}, {63, 2}, {64, 1}}));
}

TEST(GeMessages, theCpuStatusIsReadFromBytes50To55) {
  std::vector<std::uint8_t> a = bytes(56, {{50, 3}, {51, 2}, {52, 0x2C}, {53, 0x01}, {54, 0x01}, {55, 0x31}});
  const zentarc::plc::CpuStatus s = ge::cpuStatusOf(a.data());
  EXPECT_EQ(s.programNumber, 3);
  EXPECT_EQ(s.privilegeLevel, 2);
  EXPECT_EQ(s.sweepTimeMs, 300);
  EXPECT_EQ(s.statusWord, 0x3101);
  EXPECT_EQ(s.stateCode(), 3u);
  EXPECT_EQ(std::string(zentarc::plc::cpuStateText(s.stateCode())), "stop, faulted");
  EXPECT_FALSE(s.running());
  EXPECT_TRUE(s.oversweep());
  EXPECT_TRUE(s.runSwitch());
  std::vector<std::uint8_t> back(56, 0);
  ge::putCpuStatus(back.data(), s);
  EXPECT_EQ(back, a);
  EXPECT_EQ(std::string(zentarc::plc::cpuStateText(1)), "run, outputs disabled");
  EXPECT_EQ(std::string(zentarc::plc::cpuStateText(6)), "stop, outputs enabled");
  EXPECT_EQ(std::string(zentarc::plc::cpuStateText(9)), "unknown");
}
