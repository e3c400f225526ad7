// The link against the simulated PLC on loopback: every result code the link can produce.
// Each test has its own address in 127.0.2.0/24 so that tests can run in parallel.
#include "server/plc/GeLink.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "tests/plc/RawSocket.h"

#include "tools/plcsim/SimProtocol.h"
#include "tools/plcsim/Simulator.h"

using namespace zentarc::plc;
using zentarc::plcsim::Faults;
using zentarc::plcsim::MessageKind;
using zentarc::plcsim::Options;
using zentarc::plcsim::Simulator;

namespace {

class GeLinkTest : public ::testing::Test {
 protected:
  void serve(const std::string& address, Faults faults = {}) {
    sim = std::make_unique<Simulator>(Options{.address = address, .faults = faults});
    std::string error;
    ASSERT_TRUE(sim->start(&error)) << error;
    ASSERT_EQ(link.Setup({address}), kOk);
  }
  std::vector<std::uint8_t> lastRequestBytes() const {
    const auto log = sim->log();
    return log.empty() ? std::vector<std::uint8_t>{} : log.back().bytes;
  }

  GeLink link;
  std::unique_ptr<Simulator> sim;
};

}  // namespace

TEST_F(GeLinkTest, selectPlcHandshakesAndStartsTheSequenceAtTwo) {
  serve("127.0.2.10");
  EXPECT_EQ(link.SelectPlc(1), kOk);
  EXPECT_EQ(link.currentPlc(), 1);
  EXPECT_EQ(link.sequenceNumber(), 2);
  const auto log = sim->log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].request.kind, MessageKind::Hello);
  EXPECT_EQ(log[1].request.kind, MessageKind::Open);
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
}

TEST_F(GeLinkTest, readsThreeInTheHeaderAndFourAfterIt) {
  serve("127.0.2.11");
  sim->setRegisters(10, {0x1234, 0xBEEF, 7, 0xFFFF, 42});
  ASSERT_EQ(link.SelectPlc(1), kOk);

  std::uint16_t three[3] = {};
  ASSERT_EQ(link.ReadRegisters(3, 10, three), kOk);
  EXPECT_EQ((std::vector<std::uint16_t>{three, three + 3}), (std::vector<std::uint16_t>{0x1234, 0xBEEF, 7}));
  const ge::Header request = ge::readRequest(2, 10, 3);
  EXPECT_EQ(lastRequestBytes(), (std::vector<std::uint8_t>{request.begin(), request.end()}));

  std::uint16_t four[4] = {};
  ASSERT_EQ(link.ReadRegisters(4, 11, four), kOk);
  EXPECT_EQ((std::vector<std::uint16_t>{four, four + 4}), (std::vector<std::uint16_t>{0xBEEF, 7, 0xFFFF, 42}));
  EXPECT_EQ(link.sequenceNumber(), 4);

  std::vector<std::uint16_t> many(512);
  std::vector<std::uint16_t> expected(512);
  for (std::uint16_t i = 0; i < 512; ++i) expected[i] = static_cast<std::uint16_t>(i * 3 + 1);
  sim->setRegisters(65536 - 512, expected);
  ASSERT_EQ(link.ReadRegisters(512, 65536 - 512, many.data()), kOk);
  EXPECT_EQ(many, expected);
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
}

TEST_F(GeLinkTest, writesFourInTheHeaderAndFiveAfterIt) {
  serve("127.0.2.12");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  const std::uint16_t four[] = {1, 2, 3, 0x8000};
  ASSERT_EQ(link.WriteRegisters(4, 100, four), kOk);
  auto bytes = lastRequestBytes();
  ASSERT_EQ(bytes.size(), 56u);
  EXPECT_EQ(bytes[48], 1);
  EXPECT_EQ(bytes[54], 0x00);
  EXPECT_EQ(bytes[55], 0x80);
  EXPECT_EQ(sim->registers(100, 4), (std::vector<std::uint16_t>{1, 2, 3, 0x8000}));

  const std::uint16_t five[] = {9, 8, 7, 6, 5};
  ASSERT_EQ(link.WriteRegisters(5, 200, five), kOk);
  bytes = lastRequestBytes();
  ASSERT_EQ(bytes.size(), 66u);
  EXPECT_EQ(bytes[4], 10);
  EXPECT_EQ(sim->registers(200, 5), (std::vector<std::uint16_t>{9, 8, 7, 6, 5}));
  EXPECT_EQ(link.sequenceNumber(), 4);
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
}

TEST_F(GeLinkTest, sequenceWrapsFrom255To0After254Messages) {
  serve("127.0.2.13");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint16_t value = 0;
  for (int i = 0; i < 253; ++i) ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk) << i;
  EXPECT_EQ(link.sequenceNumber(), 255);
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(link.sequenceNumber(), 0);
  ASSERT_EQ(link.WriteRegisters(1, 0, &value), kOk);
  EXPECT_EQ(lastRequestBytes()[2], 0);
  EXPECT_EQ(link.sequenceNumber(), 1);
}

TEST_F(GeLinkTest, selectingAnOpenPlcSendsNothingAndPlcsShareOneCounter) {
  serve("127.0.2.14");
  Simulator second({.address = "127.0.2.15"});
  std::string error;
  ASSERT_TRUE(second.start(&error)) << error;
  sim->setRegister(0, 111);
  second.setRegister(0, 222);
  ASSERT_EQ(link.Setup({"127.0.2.14", "127.0.2.15"}), kOk);

  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint16_t value = 0;
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(value, 111);
  ASSERT_EQ(link.SelectPlc(2), kOk);  // its handshake sets the shared counter back to 2
  EXPECT_EQ(link.sequenceNumber(), 2);
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(value, 222);

  const auto before = sim->stats().messages;
  ASSERT_EQ(link.SelectPlc(1), kOk);
  EXPECT_EQ(sim->stats().messages, before);
  EXPECT_EQ(link.currentPlc(), 1);
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(value, 111);
}

TEST_F(GeLinkTest, refusedConnectGives32AndLeavesTheChannelClosed) {
  ASSERT_EQ(link.Setup({"127.0.2.16"}), kOk);  // nobody listens there
  EXPECT_EQ(link.SelectPlc(1), kNotConnected);
  EXPECT_FALSE(link.isOpen(1));
  EXPECT_EQ(link.currentPlc(), 0);
}

TEST_F(GeLinkTest, silentConnectGives32) {
  serve("127.0.2.17", Faults{.silentConnect = true});
  EXPECT_EQ(link.SelectPlc(1), kNotConnected);
  EXPECT_FALSE(link.isOpen(1));
}

TEST_F(GeLinkTest, addressTextThatIsNoDottedAddressGives51) {
  ASSERT_EQ(link.Setup({"127.0.2.999", "", "127.0.0.1.5", "255.255.255.255", "0123456789012345678"}), kOk);
  for (std::uint16_t n = 1; n <= 5; ++n) EXPECT_EQ(link.SelectPlc(n), kAddressNotAvailable) << n;
}

TEST_F(GeLinkTest, resetDuringReceiveGives3ThenTheClosedChannelGives33) {
  serve("127.0.2.18", Faults{.resetAfter = 2});
  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), kConnectionLost);
  EXPECT_FALSE(link.isOpen(1));
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), kChannelNotOpen);

  sim->setFaults({});
  sim->setRegister(0, 5);
  ASSERT_EQ(link.SelectPlc(1), kOk);  // connects and handshakes again
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(value, 5);
}

TEST_F(GeLinkTest, plcClosingTheConnectionGives3NotABadResponse) {
  serve("127.0.2.19", Faults{.closeAfter = 2});
  ASSERT_EQ(link.SelectPlc(1), kOk);
  const std::uint16_t value = 1;
  EXPECT_EQ(link.WriteRegisters(1, 0, &value), kConnectionLost);
  EXPECT_FALSE(link.isOpen(1));
}

TEST_F(GeLinkTest, lateAnswerGives4AndIsNeverTakenForALaterAnswer) {
  serve("127.0.2.20");
  sim->setRegister(0, 111);
  ASSERT_EQ(link.SelectPlc(1), kOk);
  sim->setFaults({.delayMs = 1300});
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), kNoAnswer);
  EXPECT_EQ(link.sequenceNumber(), 2);

  // The late answer (111, same sequence number) must not become the answer to the next read.
  sim->setFaults({});
  sim->setRegister(0, 222);
  ASSERT_EQ(link.SelectPlc(1), kOk);
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  EXPECT_EQ(value, 222);
}

TEST_F(GeLinkTest, silentPlcGives4AndTheNextSelectConnectsAgain) {
  serve("127.0.2.27");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  sim->setFaults({.silent = true});
  const std::uint16_t value = 9;
  EXPECT_EQ(link.WriteRegisters(1, 0, &value), kNoAnswer);
  EXPECT_EQ(sim->stats().unanswered, 1u);
  EXPECT_FALSE(link.isOpen(1));
  sim->setFaults({});
  ASSERT_EQ(link.SelectPlc(1), kOk);
  EXPECT_EQ(sim->stats().connections, 2u);
}

TEST_F(GeLinkTest, wrongSequenceNumberGives64AndTheCounterStays) {
  serve("127.0.2.21");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  sim->setFaults({.wrongSequence = true});
  std::uint16_t values[4] = {};
  EXPECT_EQ(link.ReadRegisters(2, 0, values), kBadResponse);
  EXPECT_EQ(link.WriteRegisters(4, 0, values), kBadResponse);
  EXPECT_EQ(link.sequenceNumber(), 2);
  EXPECT_TRUE(link.isOpen(1));  // a malformed answer keeps the connection
  EXPECT_EQ(sim->log().back().request.sequence, 2);  // the failed message's number is repeated
}

TEST_F(GeLinkTest, truncatedAnswerGives64) {
  serve("127.0.2.22");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  sim->setFaults({.truncate = true});
  std::uint16_t values[4] = {};
  EXPECT_EQ(link.ReadRegisters(4, 0, values), kBadResponse);
  EXPECT_EQ(link.sequenceNumber(), 2);
}

TEST_F(GeLinkTest, refusedHandshakeGives65AndClosesSoTheNextSelectHandshakesAfresh) {
  serve("127.0.2.23", Faults{.refuseHandshake = true});
  EXPECT_EQ(link.SelectPlc(1), kHandshakeRefused);
  EXPECT_EQ(link.currentPlc(), 0);
  EXPECT_FALSE(link.isOpen(1));
  sim->setFaults({});
  EXPECT_EQ(link.SelectPlc(1), kOk);
  EXPECT_EQ(sim->stats().connections, 2u);
  EXPECT_EQ(sim->stats().handshakes, 1u);
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), kOk);
}

TEST_F(GeLinkTest, aConnectionThePlcClosedIsNotStillOpen) {
  serve("127.0.2.30");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  EXPECT_TRUE(link.stillOpen(1));
  sim->stop();  // the PLC goes away and closes its end
  EXPECT_TRUE(link.isOpen(1));
  EXPECT_FALSE(link.stillOpen(1));
  EXPECT_FALSE(link.isOpen(1));
}

TEST_F(GeLinkTest, garbledHandshakeAnswerGives64AndClosesTheChannel) {
  serve("127.0.2.29", Faults{.truncate = true});
  EXPECT_EQ(link.SelectPlc(1), kBadResponse);
  EXPECT_FALSE(link.isOpen(1));
  EXPECT_EQ(link.currentPlc(), 0);
}

TEST_F(GeLinkTest, refusedReadOrWriteGives66AlsoForAReadWhoseDataWouldFollowTheHeader) {
  serve("127.0.2.24");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  sim->setFaults({.refuseReads = true, .refuseWrites = true});
  std::uint16_t values[5] = {};
  EXPECT_EQ(link.ReadRegisters(3, 0, values), kRequestRefused);
  EXPECT_EQ(link.ReadRegisters(4, 0, values), kRequestRefused);
  EXPECT_EQ(link.WriteRegisters(1, 0, values), kRequestRefused);
  EXPECT_EQ(link.WriteRegisters(5, 0, values), kRequestRefused);
  EXPECT_EQ(link.sequenceNumber(), 2);
  EXPECT_TRUE(link.isOpen(1));
}

TEST_F(GeLinkTest, answersSplitIntoSegmentsAreGatheredWithinTheLimit) {
  serve("127.0.2.25", Faults{.splitGapMs = 40});
  sim->setRegisters(0, {10, 20, 30, 40, 50});
  ASSERT_EQ(link.SelectPlc(1), kOk);  // handshake answers come in two parts as well
  std::vector<std::uint16_t> values(64);
  ASSERT_EQ(link.ReadRegisters(2, 0, values.data()), kOk);
  EXPECT_EQ(values[1], 20);
  ASSERT_EQ(link.ReadRegisters(64, 0, values.data()), kOk);
  EXPECT_EQ(values[4], 50);
  ASSERT_EQ(link.WriteRegisters(5, 0, values.data()), kOk);

  // A refusal is whole at 56 bytes: no waiting for data that never comes, channel kept.
  sim->setFaults({.refuseReads = true, .splitGapMs = 40});
  EXPECT_EQ(link.ReadRegisters(64, 0, values.data()), kRequestRefused);
  EXPECT_TRUE(link.isOpen(1));
  sim->setFaults({.splitGapMs = 40});
  EXPECT_EQ(link.ReadRegisters(3, 0, values.data()), kOk);
}

TEST_F(GeLinkTest, withoutTableOrCurrentPlcNothingIsSent) {
  EXPECT_EQ(link.SelectPlc(1), kResourceFailure);  // before Setup
  ASSERT_EQ(link.Setup({"127.0.2.26"}), kOk);
  std::uint16_t value = 0;
  EXPECT_EQ(link.ReadRegisters(1, 0, &value), kChannelNotOpen);
  EXPECT_EQ(link.WriteRegisters(1, 0, &value), kChannelNotOpen);
  EXPECT_EQ(link.SelectPlc(0), kInvalidArgument);
  EXPECT_EQ(link.SelectPlc(2), kInvalidArgument);
  EXPECT_EQ(link.ReadRegisters(0, 0, &value), kInvalidArgument);
  EXPECT_EQ(link.ReadRegisters(513, 0, &value), kInvalidArgument);
  link.CloseAll();
  EXPECT_EQ(link.count(), 0u);
  EXPECT_EQ(link.SelectPlc(1), kResourceFailure);
}

TEST(GeLinkStaleInput, bytesBeyondAnAnswerAreNeverReadAsTheNextAnswer) {
  using namespace zentarc::plcsim;
  zentarc::testplc::RawSocket listener = zentarc::testplc::RawSocket::listenOn("127.0.2.28");
  ASSERT_TRUE(listener.valid());
  // A PLC that follows its first answer with what looks like the answer to the next read.
  std::thread plc([&listener] {
    zentarc::testplc::RawSocket peer = listener.accept();
    if (!peer.valid()) return;
    peer.receive(56);
    peer.sendAll(helloAnswer());
    peer.receive(56);
    peer.sendAll(statusAnswer(1, ge::kStatusInHeader));
    peer.receive(56);
    auto answer = readAnswer(2, {111});
    const auto impostor = readAnswer(3, {999});
    answer.insert(answer.end(), impostor.begin(), impostor.end());
    peer.sendAll(answer);
    peer.receive(56);
    peer.sendAll(readAnswer(3, {222}));
    peer.receive(1);  // until the link closes
  });
  {
    GeLink link;
    ASSERT_EQ(link.Setup({"127.0.2.28"}), kOk);
    ASSERT_EQ(link.SelectPlc(1), kOk);
    std::uint16_t value = 0;
    EXPECT_EQ(link.ReadRegisters(1, 0, &value), kOk);
    EXPECT_EQ(value, 111);
    EXPECT_EQ(link.ReadRegisters(1, 0, &value), kOk);
    EXPECT_EQ(value, 222);
  }
  plc.join();
}

TEST(ResultCodes, transportFailuresAreOneTo63) {
  EXPECT_FALSE(isTransportFailure(kOk));
  for (ResultCode c : {kSendFailed, kConnectionLost, kNoAnswer, kResourceFailure, kNotConnected,
                       kChannelNotOpen, kAddressNotAvailable, kMessageTooLong})
    EXPECT_TRUE(isTransportFailure(c)) << c;
  for (ResultCode c : {kBadResponse, kHandshakeRefused, kRequestRefused}) EXPECT_FALSE(isTransportFailure(c)) << c;
}

// Every area through the link and the simulator: word, byte and bit selectors, answers in
// the header and after it, both write forms, and the CPU's status from every answer.
TEST_F(GeLinkTest, wordAreasReadAndWriteAsRegistersDoWithTheirOwnSelector) {
  serve("127.0.2.31");
  using zentarc::configfile::MemoryArea;
  sim->setWord(MemoryArea::AI, 4, 100);  // %AI5
  sim->setRegister(4, 7);                // %R5 is another table
  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint8_t data[16] = {};
  ASSERT_EQ(link.ReadMemory(0x0A, ge::Unit::Word, 4, 1, data), kOk);
  EXPECT_EQ(ge::getWord(data), 100);
  EXPECT_EQ(lastRequestBytes()[43], 0x0A);
  const std::uint8_t five[10] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0};
  ASSERT_EQ(link.WriteMemory(0x0C, ge::Unit::Word, 0, 5, five), kOk);  // %AQ1-%AQ5, long form
  EXPECT_EQ(lastRequestBytes()[51], 0x0C);
  EXPECT_EQ(sim->word(MemoryArea::AQ, 4), 5);
  EXPECT_EQ(sim->registerValue(0), 0);
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
}

TEST_F(GeLinkTest, byteReadsComeInTheHeaderUpToSixBytesAndAfterItBeyond) {
  serve("127.0.2.32");
  using zentarc::configfile::MemoryArea;
  sim->setBytes(MemoryArea::I, 0, {0x01, 0x80, 0x55, 0xAA, 0x0F, 0xF0, 0x3C, 0xC3});
  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint8_t six[6] = {}, seven[7] = {};
  ASSERT_EQ(link.ReadMemory(0x10, ge::Unit::Byte, 0, 6, six), kOk);
  EXPECT_EQ((std::vector<std::uint8_t>(six, six + 6)), (std::vector<std::uint8_t>{0x01, 0x80, 0x55, 0xAA, 0x0F, 0xF0}));
  EXPECT_EQ(sim->log().back().request.unit, ge::Unit::Byte);
  ASSERT_EQ(link.ReadMemory(0x10, ge::Unit::Byte, 1, 7, seven), kOk);
  EXPECT_EQ((std::vector<std::uint8_t>(seven, seven + 7)),
            (std::vector<std::uint8_t>{0x80, 0x55, 0xAA, 0x0F, 0xF0, 0x3C, 0xC3}));
  EXPECT_TRUE(sim->bit(MemoryArea::I, 0));  // %I1 is bit 0 of byte 0
  EXPECT_TRUE(sim->bit(MemoryArea::I, 15));  // %I16 is bit 7 of byte 1
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
}

TEST_F(GeLinkTest, aBitWriteChangesExactlyItsBitsAndABitReadShiftsTheValuesToTheAddress) {
  serve("127.0.2.33");
  using zentarc::configfile::MemoryArea;
  sim->setBytes(MemoryArea::Q, 0, {0xFF, 0x00, 0xFF});
  ASSERT_EQ(link.SelectPlc(1), kOk);
  // %Q7-%Q10 to 0,1,0,1: bits 6..9, data bit 6 upwards; the PLC keeps the bits around them.
  const std::uint8_t values[2] = {0x80, 0x02};
  ASSERT_EQ(link.WriteMemory(0x48, ge::Unit::Bit, 6, 4, values), kOk);
  EXPECT_EQ(sim->bytes(MemoryArea::Q, 0, 3), (std::vector<std::uint8_t>{0xBF, 0x02, 0xFF}));
  std::uint8_t back[2] = {};
  ASSERT_EQ(link.ReadMemory(0x48, ge::Unit::Bit, 6, 4, back), kOk);
  EXPECT_EQ(back[0], 0x80);
  EXPECT_EQ(back[1], 0x02);
  // Seventy bits, %Q1-%Q70, take nine data bytes: the long form.
  std::vector<std::uint8_t> many(9, 0xFF);
  many[8] = 0x3F;
  ASSERT_EQ(link.WriteMemory(0x48, ge::Unit::Bit, 0, 70, many.data()), kOk);
  EXPECT_EQ(lastRequestBytes().size(), 65u);
  EXPECT_EQ(sim->bytes(MemoryArea::Q, 8, 1), (std::vector<std::uint8_t>{0x3F}));
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
  EXPECT_EQ(sim->stats().refused, 0u);
}

TEST_F(GeLinkTest, everyAnswerBringsTheCpuStatusRefusalsIncluded) {
  serve("127.0.2.34");
  ASSERT_EQ(link.SelectPlc(1), kOk);
  EXPECT_FALSE(link.cpuStatus(1));  // the handshake carries none
  std::uint16_t value = 0;
  ASSERT_EQ(link.ReadRegisters(1, 0, &value), kOk);
  ASSERT_TRUE(link.cpuStatus(1));
  EXPECT_EQ(link.cpuStatus(1)->stateCode(), 0u);
  EXPECT_EQ(link.cpuStatus(1)->sweepTimeMs, 10);
  sim->setCpuState(CpuState::StopFaulted);
  sim->setFaults({.refuseWrites = true});
  EXPECT_EQ(link.WriteRegisters(1, 0, &value), kRequestRefused);
  EXPECT_EQ(link.cpuStatus(1)->stateCode(), 3u);
  link.CloseAll();
  EXPECT_FALSE(link.cpuStatus(1));
}

TEST_F(GeLinkTest, readsPastAnAreasSizeAreRefusedAndOversizedRequestsNeverSent) {
  serve("127.0.2.35");
  using zentarc::configfile::MemoryArea;
  sim->setAreaSize(MemoryArea::AI, 64);
  sim->setAreaSize(MemoryArea::M, 128);  // 16 bytes
  ASSERT_EQ(link.SelectPlc(1), kOk);
  std::uint8_t data[ge::kMaxDataBytes] = {};
  EXPECT_EQ(link.ReadMemory(0x0A, ge::Unit::Word, 63, 1, data), kOk);
  EXPECT_EQ(link.ReadMemory(0x0A, ge::Unit::Word, 63, 2, data), kRequestRefused);
  EXPECT_EQ(link.ReadMemory(0x16, ge::Unit::Byte, 8, 8, data), kOk);
  EXPECT_EQ(link.ReadMemory(0x16, ge::Unit::Byte, 8, 9, data), kRequestRefused);
  EXPECT_EQ(link.ReadMemory(0x4C, ge::Unit::Bit, 127, 1, data), kOk);
  EXPECT_EQ(link.ReadMemory(0x4C, ge::Unit::Bit, 128, 1, data), kRequestRefused);
  const auto sent = sim->stats().messages;
  EXPECT_EQ(link.ReadMemory(0x10, ge::Unit::Byte, 0, 1025, data), kInvalidArgument);
  EXPECT_EQ(link.ReadMemory(0x46, ge::Unit::Bit, 7, 8186, data), kInvalidArgument);  // 1025 bytes
  EXPECT_EQ(link.WriteMemory(0x10, ge::Unit::Byte, 0, 0, data), kInvalidArgument);
  EXPECT_EQ(sim->stats().messages, sent);
  EXPECT_EQ(sim->stats().layoutErrors, 0u);
  EXPECT_TRUE(link.isOpen(1));
}
