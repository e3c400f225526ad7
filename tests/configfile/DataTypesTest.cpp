#include "common/configfile/AccessRights.h"
#include "common/configfile/DataTypes.h"

#include <gtest/gtest.h>

#include <set>

using namespace zentarc::configfile;

TEST(DataTypes, fileNamesMapToTheirVariantCodes) {
  EXPECT_EQ(typeCodeForFileName("VT_BSTR"), 8);
  EXPECT_EQ(typeCodeForFileName("VT_BOOL ARRAY"), 0x200B);
  EXPECT_EQ(typeCodeForFileName("VT_UI1 ARRAY"), 0x2011);
  EXPECT_EQ(typeCodeForFileName("VT_I1 ARRAY"), 0x2010);
  EXPECT_EQ(typeCodeForFileName("VT_R4 ARRAY"), 0x2004);
}

TEST(DataTypes, unknownOrMiscasedNamesGiveNoType) {
  EXPECT_EQ(typeCodeForFileName("VT_I1"), 0);
  EXPECT_EQ(typeCodeForFileName("vt_i2"), 0);
  EXPECT_EQ(typeCodeForFileName("VT_BOOL  ARRAY"), 0);
  EXPECT_EQ(findByDisplayName("Boolean"), nullptr);
}

TEST(DataTypes, namesAndCodesAreUniqueAndDisplayNamesRoundTrip) {
  std::set<std::string_view> files, displays;
  std::set<std::uint16_t> codes;
  for (const auto& e : kDataTypes) {
    files.insert(e.fileName);
    displays.insert(e.displayName);
    codes.insert(e.code);
    ASSERT_EQ(findByDisplayName(e.displayName), &e);
    ASSERT_EQ(findByCode(e.code), &e);
    EXPECT_EQ(isArrayType(e.code), e.displayName.find("array") != std::string_view::npos);
  }
  EXPECT_EQ(files.size(), 15u);
  EXPECT_EQ(displays.size(), 15u);
  EXPECT_EQ(codes.size(), 15u);
}

TEST(AccessRights, namesGiveBitsAndAnythingElseNone) {
  EXPECT_EQ(accessRightsForName("READ"), 1u);
  EXPECT_EQ(accessRightsForName("WRITE"), 2u);
  EXPECT_EQ(accessRightsForName("READWRITE"), 3u);
  EXPECT_EQ(accessRightsForName("read"), 0u);
  EXPECT_EQ(accessRightsForName(""), 0u);
}
