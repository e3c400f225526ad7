// The value type: type codes, strings with NUL, arrays, sharing and comparison.
#include <gtest/gtest.h>

#include "server/toolkit/SOCmnVariant.h"

TEST(SOCmnVariant, scalarsKeepTypeAndBits) {
  EXPECT_EQ(SOCmnVariant::fromI2(-2).iVal(), -2);
  EXPECT_EQ(SOCmnVariant::fromUI2(65535).uiVal(), 65535);
  EXPECT_EQ(SOCmnVariant::fromI4(-70000).lVal(), -70000);
  EXPECT_EQ(SOCmnVariant::fromUI4(4000000000u).ulVal(), 4000000000u);
  EXPECT_EQ(SOCmnVariant::fromR4(1.5f).fltVal(), 1.5f);
  EXPECT_EQ(SOCmnVariant::fromBool(true).boolVal(), VARIANT_TRUE);
  EXPECT_EQ(SOCmnVariant::fromBool(false).boolVal(), VARIANT_FALSE);
  EXPECT_EQ(SOCmnVariant::fromI2(5).vt(), VT_I2);
  EXPECT_EQ(SOCmnVariant::fromI2(5).lVal(), 0);  // wrong accessor gives 0, not garbage
  EXPECT_TRUE(SOCmnVariant().isEmpty());
}

TEST(SOCmnVariant, zeroOfGivesLengthsAndTypes) {
  const SOCmnVariant s = SOCmnVariant::zeroOf(VT_BSTR, 5);
  EXPECT_EQ(s.vt(), VT_BSTR);
  EXPECT_EQ(s.bstrVal(), std::u16string(5, u'\0'));
  const SOCmnVariant a = SOCmnVariant::zeroOf(VT_ARRAY | VT_BOOL, 4);
  EXPECT_EQ(a.vt(), VT_ARRAY | VT_BOOL);
  EXPECT_EQ(a.arrayElementType(), VT_BOOL);
  EXPECT_EQ(a.arrayCount(), 4u);
  EXPECT_EQ(a.arrayData<std::int16_t>().size(), 4u);
  EXPECT_TRUE(a.arrayData<float>().empty());  // element type mismatch
  EXPECT_TRUE(SOCmnVariant::zeroOf(VT_ARRAY | VT_BSTR, 3).isEmpty());
  EXPECT_TRUE(SOCmnVariant::zeroOf(0).isEmpty());
  for (VARTYPE t : {VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_R4, VT_BOOL})
    EXPECT_EQ(SOCmnVariant::zeroOf(VT_ARRAY | t, 7).arrayCount(), 7u) << t;
}

TEST(SOCmnVariant, copiesShareUntilOneChanges) {
  SOCmnVariant a = SOCmnVariant::makeArray(VT_UI2, 3);
  SOCmnVariant b = a;
  EXPECT_EQ(a, b);
  b.mutableArrayData<std::uint16_t>()[1] = 9;
  EXPECT_EQ(a.arrayData<std::uint16_t>()[1], 0);
  EXPECT_EQ(b.arrayData<std::uint16_t>()[1], 9);
  EXPECT_NE(a, b);

  SOCmnVariant s = SOCmnVariant::fromBstr(u"AB");
  SOCmnVariant t = s;
  (*t.mutableBstr())[0] = u'\0';
  EXPECT_EQ(s.bstrVal(), u"AB");
  EXPECT_EQ(t.bstrVal().size(), 2u);  // NUL stays inside the string
}

TEST(SOCmnVariant, comparesTypeAndFloatBits) {
  EXPECT_NE(SOCmnVariant::fromI2(1), SOCmnVariant::fromUI2(1));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(SOCmnVariant::fromR4(nan), SOCmnVariant::fromR4(nan));  // unchanged NaN is no change
  const float a[] = {1.0f, nan};
  EXPECT_EQ(SOCmnVariant::fromArray<float>(VT_R4, a), SOCmnVariant::fromArray<float>(VT_R4, a));
  const std::int16_t wrong[] = {1};
  EXPECT_TRUE(SOCmnVariant::fromArray<std::int16_t>(VT_UI2, wrong).isEmpty());
}

TEST(SOCmnVariant, utf8RoundTripKeepsEveryCharacter) {
  const std::string text = "K\xC3\xBChler \xE2\x82\xAC \xF0\x9F\x98\x80";  // ü, €, an emoji
  const SOCmnVariant v = SOCmnVariant::fromUtf8(text);
  EXPECT_EQ(v.bstrVal().size(), 11u);  // 9 characters, the emoji as a surrogate pair
  EXPECT_EQ(v.toUtf8(), text);
  EXPECT_EQ(SOCmnVariant::fromUtf8("\xFF").bstrVal(), std::u16string(1, u'\xFF'));  // stray byte kept
}
