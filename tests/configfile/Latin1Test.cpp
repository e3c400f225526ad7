#include "common/configfile/Latin1.h"

#include <gtest/gtest.h>

using namespace zentarc::configfile;

TEST(Latin1, highCharactersRoundTripThroughUtf8) {
  std::string latin1;
  for (int c = 1; c < 256; ++c) latin1.push_back(static_cast<char>(c));
  const std::string utf8 = latin1ToUtf8(latin1);
  EXPECT_EQ(utf8.size(), 127u + 2u * 128u);
  EXPECT_EQ(utf8ToLatin1WithReferences(utf8), latin1);
}

TEST(Latin1, charactersBeyondLatin1BecomeNumericReferences) {
  // "Druck €5 ✓" — the euro sign and the check mark are outside ISO-8859-1.
  EXPECT_EQ(utf8ToLatin1WithReferences("Druck \xE2\x82\xAC" "5 \xE2\x9C\x93"),
            "Druck &#8364;5 &#10003;");
  EXPECT_EQ(utf8ToLatin1WithReferences("\xF0\x9F\x98\x80"), "&#128512;");
  EXPECT_EQ(utf8ToLatin1WithReferences("gr\xC3\xBC\xC3\x9F"), "gr\xFC\xDF");
}

TEST(Latin1, invalidUtf8BytesAreKeptNotDropped) {
  EXPECT_EQ(utf8ToLatin1WithReferences("a\xFF" "b\xC3"), "a\xFF" "b\xC3");
  // An over-long encoding of '/' is not valid UTF-8 either.
  EXPECT_EQ(utf8ToLatin1WithReferences("\xC0\xAF"), "\xC0\xAF");
}

TEST(Latin1, escapeXmlQuotesOnlyInAttributes) {
  EXPECT_EQ(escapeXml("a<b & \"c\">", false), "a&lt;b &amp; \"c\"&gt;");
  EXPECT_EQ(escapeXml("a<b & \"c\">", true), "a&lt;b &amp; &quot;c&quot;&gt;");
}
