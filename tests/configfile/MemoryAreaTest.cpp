// Memory areas, their addresses as users write them, what a tag occupies in a bit area,
// and the PLC address rule.
#include "common/configfile/MemoryArea.h"

#include <gtest/gtest.h>

#include "common/configfile/DataTypes.h"
#include "common/configfile/PlcAddressRule.h"
#include "common/configfile/TagRules.h"

using namespace zentarc::configfile;

TEST(MemoryArea, addressesTakeAnyCaseAnOptionalPercentAndLeadingZeros) {
  const auto at = [](const char* text) { return parseAreaAddress(text); };
  ASSERT_TRUE(at("17"));
  EXPECT_EQ(at("17")->area, MemoryArea::R);
  EXPECT_EQ(at("%i00017")->area, MemoryArea::I);
  EXPECT_EQ(at("%i00017")->number, 17u);
  EXPECT_EQ(at("AI17")->area, MemoryArea::AI);
  EXPECT_EQ(at("%Sa3")->area, MemoryArea::SA);
  EXPECT_EQ(at("R65535")->number, 65535u);
  for (const char* bad : {"", "%", "%17", "R", "R0", "R65536", "X17", "AI 17", "17a", "%%R1", "R-1", "99999999999"})
    EXPECT_FALSE(at(bad)) << bad;
  EXPECT_EQ(formatAreaAddress(MemoryArea::AI, 17), "%AI17");
  EXPECT_EQ(memoryAreaForFileName("SC"), MemoryArea::SC);
  EXPECT_FALSE(memoryAreaForFileName("sc"));  // the file holds upper case only
}

TEST(MemoryArea, bitAreaTagsOccupyBitsOrWholeBytes) {
  const std::uint16_t boolArray = kArrayFlag | VT_BOOL;
  EXPECT_EQ(areaSpan(MemoryArea::I, VT_BOOL, 0, 0), 1u);
  EXPECT_EQ(areaSpan(MemoryArea::I, boolArray, 0, 13), 13u);
  EXPECT_EQ(areaSpan(MemoryArea::M, VT_I4, 0, 0), 32u);
  EXPECT_EQ(areaSpan(MemoryArea::M, VT_BSTR, 0, 3), 24u);             // one byte a character
  EXPECT_EQ(areaSpan(MemoryArea::M, kArrayFlag | VT_UI1, 0, 3), 24u);  // never a fourth byte
  EXPECT_EQ(areaSpan(MemoryArea::M, kArrayFlag | VT_R4, 0, 2), 64u);
  EXPECT_EQ(areaSpan(MemoryArea::AI, VT_R4, 0, 0), 2u);  // word areas count registers as %R
  const auto faults = [](MemoryArea a, std::uint16_t type, long long address, long long bit = 0, long long n = 0) {
    return checkTagNumbers({type, address, bit, n, a});
  };
  EXPECT_TRUE(faults(MemoryArea::I, VT_I2, 9).empty());
  EXPECT_EQ(faults(MemoryArea::I, VT_I2, 10), std::vector<TagFault>{TagFault::NotByteAligned});
  EXPECT_TRUE(faults(MemoryArea::Q, boolArray, 3, 0, 70).empty());  // booleans start on any bit
  EXPECT_EQ(faults(MemoryArea::Q, VT_BOOL, 3, 2), std::vector<TagFault>{TagFault::BitInBitArea});
  EXPECT_TRUE(faults(MemoryArea::Q, VT_BOOL, 65535).empty());
  EXPECT_EQ(faults(MemoryArea::Q, VT_I4, 65529), std::vector<TagFault>{TagFault::PastLastRegister});
  EXPECT_TRUE(faults(MemoryArea::Q, VT_I4, 65505).empty());  // the last four bytes
}

TEST(PlcAddressRule, onlyFourDecimalNumbersUpTo255SeparatedByDots) {
  for (const char* good : {"192.168.0.10", "127.0.0.2", "0.0.0.0", "255.255.255.255", "010.001.0.1"})
    EXPECT_TRUE(isDottedIpv4(good)) << good;
  for (const char* bad : {"", " 10.0.0.1", "10.0.0.1 ", "10.0.0", "10.0.0.1.5", "127.0.1.300", "localhost",
                          "999.1.1.1", "1..2.3", "1.2.3.", "+1.2.3.4", "0001.2.3.4", "1.2.3.4\n"})
    EXPECT_FALSE(isDottedIpv4(bad)) << bad;
  EXPECT_EQ(plcAddressFaultText(""), "the IP address is empty");
}
