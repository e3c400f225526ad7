// The one rule of what a loadable tag is, shared by the server's loader and the editor.
#include "common/configfile/TagRules.h"

#include <gtest/gtest.h>

#include "common/configfile/DataTypes.h"

using namespace zentarc::configfile;

namespace {

std::vector<TagFault> faultsOf(const char* type, long long address, long long bit = 0, long long elements = 0) {
  return checkTagNumbers({typeCodeForFileName(type), address, bit, elements});
}

}  // namespace

TEST(TagRules, namesMayHoldDotsSpacesAndAmpersandsButNoBlankOrControlText) {
  for (const char* good : {"Pump_A", "Line1.Counter", "Oven 2 & co", " padded ", "caf\xC3\xA9", "\xE2\x82\xAC"})
    EXPECT_EQ(checkName(good), NameFault::None) << good;
  EXPECT_EQ(checkName(""), NameFault::Empty);
  EXPECT_EQ(checkName(" "), NameFault::Blank);
  EXPECT_EQ(checkName("  \xC2\xA0 "), NameFault::Blank);  // a no-break space is a blank too
  for (const char* bad : {"A\nB", "A\r", "\tA", "A\x7F", "A\xC2\x85", "A\xE2\x80\xA8"})
    EXPECT_EQ(checkName(bad), NameFault::Control) << bad;
  EXPECT_EQ(checkName(std::string_view("A\0B", 3)), NameFault::Control);
  // Bytes that are not UTF-8 are judged as Latin-1 characters: 0x85 is a control character.
  EXPECT_EQ(checkName("A\x85"), NameFault::Control);
  EXPECT_EQ(checkName("A\xE9"), NameFault::None);
  EXPECT_EQ(nameFaultText(NameFault::Blank), "the name is made of blanks only");
}

TEST(TagRules, namesCompareWithoutRegardToAsciiAndLatin1LetterCase) {
  EXPECT_EQ(foldName("Pump_A"), foldName("PUMP_a"));
  EXPECT_EQ(foldName("\xC3\x89tage"), foldName("\xC3\xA9TAGE"));  // É and é
  EXPECT_NE(foldName("\xC3\x97"), foldName("\xC3\xB7"));          // × is not a capital of ÷
}

TEST(TagRules, addressBitAndCountMustBeSixteenBitNumbersAndTheAddressAtLeastOne) {
  EXPECT_TRUE(faultsOf("VT_I2", 1).empty());
  EXPECT_TRUE(faultsOf("VT_I2", 65535).empty());
  EXPECT_EQ(faultsOf("VT_I2", 0), std::vector<TagFault>{TagFault::AddressOutOfRange});
  EXPECT_EQ(faultsOf("VT_I2", 65536), std::vector<TagFault>{TagFault::AddressOutOfRange});
  EXPECT_EQ(faultsOf("VT_I2", 999999), std::vector<TagFault>{TagFault::AddressOutOfRange});
  EXPECT_EQ(faultsOf("VT_I2 ARRAY", 10, 0, -3), std::vector<TagFault>{TagFault::ElementsOutOfRange});
  EXPECT_EQ(faultsOf("VT_BOOL", 10, -1), std::vector<TagFault>{TagFault::BitOutOfRange});
  EXPECT_EQ(faultsOf("VT_BOOL", 10, 16), std::vector<TagFault>{TagFault::BooleanBitAbove15});
  EXPECT_TRUE(faultsOf("VT_BOOL", 10, 15).empty());
  EXPECT_TRUE(faultsOf("VT_BOOL ARRAY", 10, 20, 4).empty());  // an array's first bit may lie further on
  EXPECT_TRUE(faultsOf("VT_I2 ARRAY", 10, 0, 0).empty());     // an empty array loads (and is never read)
}

TEST(TagRules, registersMayReachR65536ButNotRunPastIt) {
  EXPECT_TRUE(faultsOf("VT_I4", 65535).empty());  // R65535 and R65536
  EXPECT_TRUE(faultsOf("VT_UI2 ARRAY", 65527, 0, 10).empty());
  EXPECT_EQ(faultsOf("VT_UI2 ARRAY", 65528, 0, 10), std::vector<TagFault>{TagFault::PastLastRegister});
  EXPECT_EQ(faultsOf("VT_R4 ARRAY", 65534, 0, 2), std::vector<TagFault>{TagFault::PastLastRegister});
  EXPECT_TRUE(faultsOf("VT_BSTR", 65535, 0, 4).empty());  // two characters per register
  EXPECT_EQ(faultsOf("VT_BSTR", 65535, 0, 5), std::vector<TagFault>{TagFault::PastLastRegister});
  EXPECT_TRUE(faultsOf("VT_BOOL ARRAY", 65535, 15, 17).empty());
  EXPECT_EQ(faultsOf("VT_BOOL ARRAY", 65535, 15, 18), std::vector<TagFault>{TagFault::PastLastRegister});
  EXPECT_EQ(faultsOf("VT_I4 ARRAY", 1, 0, 65535), std::vector<TagFault>{TagFault::PastLastRegister});
  // A tag of no known type occupies nothing, so it never runs past the table.
  EXPECT_TRUE(checkTagNumbers({0, 65535, 0, 65535}).empty());
}

TEST(TagRules, spanOfEveryTypeRow) {
  EXPECT_EQ(registerSpan(VT_BOOL, 15, 0), 1u);
  EXPECT_EQ(registerSpan(VT_R4, 0, 0), 2u);
  EXPECT_EQ(registerSpan(VT_BSTR, 0, 5), 3u);
  EXPECT_EQ(registerSpan(kArrayFlag | VT_UI1, 0, 5), 3u);
  EXPECT_EQ(registerSpan(kArrayFlag | VT_I2, 0, 5), 5u);
  EXPECT_EQ(registerSpan(kArrayFlag | VT_UI4, 0, 5), 10u);
  EXPECT_EQ(registerSpan(kArrayFlag | VT_BOOL, 10, 10), 2u);
  EXPECT_EQ(registerSpan(VT_I1, 0, 5), 0u);  // no scalar 8-bit type
  EXPECT_EQ(registerSpan(kArrayFlag | VT_I4, 0, 65535), 131070u);
}
