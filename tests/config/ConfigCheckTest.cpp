// The configuration check: the loader's own problems, the exit code, and what a full scan
// of the file's tags would need.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "server/config/ConfigCheck.h"
#include "tests/support/TempDir.h"

using namespace zentarc::config;

namespace {

std::string tag(const std::string& name, const std::string& type, int address, const std::string& extra = "",
                const std::string& access = "READWRITE") {
  return "      <tag><name>" + name + "</name><datatype>" + type + "</datatype>" + extra + "<address>" +
         std::to_string(address) + "</address><accessrights>" + access + "</accessrights></tag>\n";
}

std::string plc(const std::string& attrs, const std::string& tags) {
  return "  <PLC " + attrs + ">\n    <tags>\n" + tags + "    </tags>\n  </PLC>\n";
}

std::string file(const std::string& plcs) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<TarvelleZentarcCfg>\n<OPC_DA>\n" + plcs +
         "</OPC_DA>\n</TarvelleZentarcCfg>\n";
}

bool mentions(const std::vector<std::string>& problems, const std::string& a, const std::string& b) {
  for (const auto& p : problems)
    if (p.find(a) != std::string::npos && p.find(b) != std::string::npos) return true;
  return false;
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  ConfigCheckReport check(const std::string& bytes) { return CheckConfiguration(dir.write("plant.xml", bytes).string()); }
  zentarc::testsupport::TempDir dir;
};

}  // namespace

TEST_F(ConfigCheckTest, aCleanFileExitsZeroAndCountsTheBlocksAndMessagesOfOneFullScan) {
  // Line1: A..C lie at most 10 registers apart (one block), D starts a block of its own, the
  // 600-register array has its own block and needs two messages of at most 512 registers;
  // the write-only tag is never polled. Line2 has no tags.
  const auto r = check(file(plc("name=\"Line1\" IPaddress=\"127.0.0.2\"",
                                tag("A", "VT_I2", 1) + tag("B", "VT_I4", 2) + tag("C", "VT_I2", 14) +
                                    tag("D", "VT_UI2", 30) +
                                    tag("E", "VT_UI2 ARRAY", 100, "<elements>600</elements>") +
                                    tag("F", "VT_I2", 50, "", "WRITE")) +
                            plc("name=\"Line2\" IPaddress=\"127.0.0.3\"", "")));
  EXPECT_EQ(r.exitCode, kCheckClean);
  EXPECT_TRUE(r.problems.empty());
  ASSERT_EQ(r.plcs.size(), 2u);
  EXPECT_EQ(r.plcs[0].name, "Line1");
  EXPECT_EQ(r.plcs[0].address, "127.0.0.2");
  EXPECT_EQ(r.plcs[0].tags, 6u);
  EXPECT_EQ(r.plcs[0].polledTags, 5u);
  EXPECT_EQ(r.plcs[0].cyclicBlocks, 3u);
  EXPECT_EQ(r.plcs[0].readMessages, 4u);
  EXPECT_EQ(r.plcs[1].tags, 0u);
  EXPECT_EQ(r.plcs[1].cyclicBlocks, 0u);
  EXPECT_TRUE(r.overlaps.empty());
}

TEST_F(ConfigCheckTest, skippedOrNotedTagsAndPlcsExitOneWithTheLoadersMessagesAndLines) {
  const std::string bytes = file(plc("name=\"Line1\" IPaddress=\"127.0.0.2\"",
                                     tag("Good", "VT_I2", 1) + tag("NoAddress", "VT_I2", 0) +
                                         tag("Odd", "VT_I8", 5)) +
                                 plc("name=\"Lost\"", tag("Orphan", "VT_I2", 1)));
  const auto r = check(bytes);
  EXPECT_EQ(r.exitCode, kCheckProblems);
  ASSERT_EQ(r.problems.size(), 3u);
  // Line 7 holds the tag without a valid address, line 8 the one of unknown type, line 11
  // the PLC without an IPaddress.
  EXPECT_TRUE(mentions(r.problems, "\"NoAddress\"", "line 7")) << r.problems[0];
  EXPECT_TRUE(mentions(r.problems, "\"Odd\"", "line 8")) << r.problems[1];
  EXPECT_TRUE(mentions(r.problems, "\"Lost\"", "line 11")) << r.problems[2];
  ASSERT_EQ(r.plcs.size(), 1u);
  EXPECT_EQ(r.plcs[0].tags, 2u);        // the tag of unknown type loads, with its note
  EXPECT_EQ(r.plcs[0].polledTags, 1u);  // but is never polled
}

TEST_F(ConfigCheckTest, plcsThatCannotWorkAndEmptyStringsOrArraysAreProblems) {
  const auto r = check(file(plc("name=\"A\" IPaddress=\"127.0.1.300\"", tag("S", "VT_BSTR", 1)) +
                            plc("name=\"B\" IPaddress=\"127.0.0.2\"", "")));
  EXPECT_EQ(r.exitCode, kCheckProblems);
  ASSERT_EQ(r.problems.size(), 2u);
  EXPECT_TRUE(mentions(r.problems, "PLC \"A\" (line 4)", "not a dotted IPv4 address")) << r.problems[0];
  EXPECT_TRUE(mentions(r.problems, "\"S\"", "a string of 0 characters")) << r.problems[1];
  EXPECT_EQ(r.plcs.size(), 2u);
}

TEST_F(ConfigCheckTest, filesThatCannotBeReadExitTwo) {
  const auto missing = CheckConfiguration(dir.file("absent.xml").string());
  EXPECT_EQ(missing.exitCode, kCheckUnreadable);
  ASSERT_EQ(missing.problems.size(), 1u);
  EXPECT_NE(missing.problems[0].find("could not be opened"), std::string::npos);

  const auto broken = check("<?xml version=\"1.0\"?>\n<TarvelleZentarcCfg>\n<OPC_DA>\n<PLC name=\"P\">\n</OPC_DA>\n");
  EXPECT_EQ(broken.exitCode, kCheckUnreadable);
  ASSERT_EQ(broken.problems.size(), 1u);
  EXPECT_NE(broken.problems[0].find("line 5"), std::string::npos) << broken.problems[0];
  EXPECT_TRUE(broken.plcs.empty());

  const auto noDevices = check("<TarvelleZentarcCfg><PLC name=\"P\" IPaddress=\"127.0.0.2\"/></TarvelleZentarcCfg>");
  EXPECT_EQ(noDevices.exitCode, kCheckUnreadable);
  ASSERT_EQ(noDevices.problems.size(), 1u);
  EXPECT_NE(noDevices.problems[0].find("no devices element"), std::string::npos);
}

TEST_F(ConfigCheckTest, aFileWithoutPlcsIsAProblemThoughTheLoaderIsSilent) {
  const auto r = check(file(""));
  EXPECT_EQ(r.exitCode, kCheckProblems);
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(r.problems[0], kNoPlcProblem);
}

TEST_F(ConfigCheckTest, overlapsAreFoundBitByBitWithinOnePlcOnly) {
  const auto r = check(file(
      plc("name=\"P\" IPaddress=\"127.0.0.2\"",
          // Different bits of one register share nothing; the same bit does.
          tag("Bit3", "VT_BOOL", 1, "<databit>3</databit>") + tag("Bit4", "VT_BOOL", 1, "<databit>4</databit>") +
              tag("Bit3Again", "VT_BOOL", 1, "<databit>3</databit>") +
              // A 32-bit value over registers 10-11 and a word on 11.
              tag("Long", "VT_I4", 10) + tag("Word11", "VT_I2", 11) +
              // Three bytes at 20 reach into the low byte of 21.
              tag("Bytes", "VT_UI1 ARRAY", 20, "<elements>3</elements>") + tag("Word21", "VT_UI2", 21) +
              // Twenty bits from 30.0 end at 31.3: 31.4 is free, 31.3 is not.
              tag("Flags", "VT_BOOL ARRAY", 30, "<databit>0</databit><elements>20</elements>") +
              tag("Free", "VT_BOOL", 31, "<databit>4</databit>") +
              tag("Taken", "VT_BOOL", 31, "<databit>3</databit>")) +
      plc("name=\"Q\" IPaddress=\"127.0.0.3\"", tag("SameRegisterOtherPlc", "VT_I2", 10))));
  EXPECT_EQ(r.exitCode, kCheckClean);
  std::vector<std::string> overlapping;
  for (const auto& o : r.overlaps) overlapping.push_back(o.tag + "/" + o.other);
  EXPECT_EQ(overlapping, (std::vector<std::string>{"Bit3Again/Bit3", "Word11/Long", "Word21/Bytes", "Taken/Flags"}));
  ASSERT_EQ(r.overlaps.size(), 4u);
  EXPECT_EQ(r.overlaps[1].tagRegisters, "register 11");
  EXPECT_EQ(r.overlaps[1].otherRegisters, "registers 10-11");
  EXPECT_EQ(r.overlaps[0].tagRegisters, "register 1, bit 3");
}

TEST_F(ConfigCheckTest, theReportNamesEveryProblemAndTheScan) {
  const std::string path = dir.write("plant.xml", file(plc("name=\"Line1\" IPaddress=\"127.0.0.2\"",
                                                           tag("A", "VT_I2", 1) + tag("Bad", "VT_I2", 0))))
                               .string();
  std::ostringstream out;
  PrintConfigCheck(path, CheckConfiguration(path), out);
  const std::string text = out.str();
  EXPECT_NE(text.find("Checking " + path), std::string::npos);
  EXPECT_NE(text.find("problem: Tag \"Bad\""), std::string::npos) << text;
  EXPECT_NE(text.find("1 PLC, 1 tag"), std::string::npos) << text;
  EXPECT_NE(text.find("Line1 (127.0.0.2): 1 tag, 1 polled; one full scan at one rate: 1 cyclic block, 1 message"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Result: 1 problem"), std::string::npos) << text;

  std::ostringstream unreadable;
  PrintConfigCheck("x.xml", CheckConfiguration(dir.file("x.xml").string()), unreadable);
  EXPECT_NE(unreadable.str().find("cannot be read"), std::string::npos);
  EXPECT_EQ(unreadable.str().find("PLC"), std::string::npos) << "no summary of a file that was not read";
}
