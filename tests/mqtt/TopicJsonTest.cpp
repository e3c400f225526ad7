// Topic levels for odd names, and the JSON reader and writer on what clients may send.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "server/mqtt/JsonText.h"
#include "server/mqtt/TopicNames.h"

namespace {

using namespace zentarc::mqtt;

TEST(TopicLevel, oddNames_stayOneLevelWithoutWildcards_andReadBack) {
  struct Case {
    std::string name, level;
  };
  const Case cases[] = {
      {"Line1.Counter", "Line1.Counter"},
      {"a/b", "a%2Fb"},
      {"x+y#z", "x%2By%23z"},
      {"100%", "100%25"},
      {"$state", "%24state"},       // never meets its PLC's $state topic
      {"a$b", "a$b"},               // only a leading '$' is special
      {"tab\there", "tab%09here"},
      {std::string("nul\0x", 5), "nul%00x"},
      {"del\x7f", "del%7F"},
      {"\xc2\x85next", "%C2%85next"},  // U+0085, a C1 control
      {"Gr\xc3\xbc\xc3\x9f" "e", "Gr\xc3\xbc\xc3\x9f" "e"},  // other UTF-8 stays readable
      {"space ok", "space ok"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encodeTopicLevel(c.name), c.level) << c.name;
    EXPECT_EQ(decodeTopicLevel(c.level), c.name) << c.level;
    const std::string level = encodeTopicLevel(c.name);
    EXPECT_EQ(level.find_first_of("/+#"), std::string::npos) << c.name;
  }
}

TEST(TopicLevel, decode_leavesBrokenEscapesAsTheyAre) {
  EXPECT_EQ(decodeTopicLevel("50%"), "50%");
  EXPECT_EQ(decodeTopicLevel("%zz"), "%zz");
  EXPECT_EQ(decodeTopicLevel("%4"), "%4");
}

json::Value parsed(const std::string& text) {
  json::Value v;
  std::string error;
  EXPECT_TRUE(json::parse(text, v, error)) << text << ": " << error;
  return v;
}

std::string refusal(const std::string& text) {
  json::Value v;
  std::string error;
  EXPECT_FALSE(json::parse(text, v, error)) << text;
  return error;
}

TEST(JsonReader, readsRequestsWithNumbersStringsAndArrays) {
  const json::Value v = parsed(R"( {"value": [1, -2.5, 3e2, true, null, "A\u00e9\ud83d\ude00"], "id": "x1"} )");
  ASSERT_EQ(v.kind, json::Value::Kind::Object);
  const json::Value* value = v.member("value");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->items.size(), 6u);
  EXPECT_TRUE(value->items[0].isInteger);
  EXPECT_EQ(value->items[0].integer, 1);
  EXPECT_FALSE(value->items[1].isInteger);
  EXPECT_EQ(value->items[1].number, -2.5);
  EXPECT_EQ(value->items[2].number, 300.0);
  EXPECT_FALSE(value->items[2].isInteger);  // written with an exponent
  EXPECT_EQ(value->items[3].kind, json::Value::Kind::Bool);
  EXPECT_EQ(value->items[4].kind, json::Value::Kind::Null);
  EXPECT_EQ(value->items[5].text, "A\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(json::serialize(*v.member("id")), "\"x1\"");
}

TEST(JsonReader, integersBeyond64Bits_areMarkedNotWrapped) {
  const json::Value big = parsed("123456789012345678901234567890");
  EXPECT_FALSE(big.isInteger);
  EXPECT_TRUE(big.integerTooLarge);
  EXPECT_GT(big.number, 1e29);
  const json::Value huge = parsed("-1e999");
  EXPECT_TRUE(std::isinf(huge.number));
  EXPECT_LT(huge.number, 0);
  EXPECT_EQ(parsed("1e-999").number, 0.0);
}

TEST(JsonReader, refusesWhatIsNotStrictJson) {
  for (const char* bad : {"", "   ", "{", "[1,]", "{\"a\":1,}", "01", "1.", ".5", "+1", "-", "1e", "NaN",
                          "Infinity", "'a'", "\"a", "\"\\x\"", "\"\\ud800\"", "\"\\udc00\"", "tru", "nul",
                          "{a:1}", "1 2", "\"tab\there\"", "\"\xff\"", "\"\xc0\xaf\"", "\"\xed\xa0\x80\""})
    refusal(bad);
}

TEST(JsonReader, deepNesting_isRefusedWithoutRecursingFurther) {
  std::string deep(200000, '[');
  EXPECT_NE(refusal(deep).find("nested too deeply"), std::string::npos);
  std::string ok(json::kMaxDepth - 1, '[');
  ok += std::string(json::kMaxDepth - 1, ']');
  parsed(ok);
}

TEST(JsonReader, oversizedPayload_isRefusedBeforeReading) {
  const std::string big = "\"" + std::string(json::kMaxPayloadBytes, 'a') + "\"";
  EXPECT_NE(refusal(big).find("longer than"), std::string::npos);
}

TEST(JsonWriter, floatsTakeTheShortestExactText_andSpecialValuesAsStrings) {
  std::string out;
  json::appendFloat(out, 1.1f);
  EXPECT_EQ(out, "1.1");
  out.clear();
  json::appendFloat(out, std::numeric_limits<float>::quiet_NaN());
  json::appendFloat(out, std::numeric_limits<float>::infinity());
  json::appendFloat(out, -std::numeric_limits<float>::infinity());
  EXPECT_EQ(out, "\"NaN\"\"Infinity\"\"-Infinity\"");
  out.clear();
  json::appendFloat(out, 3.0e38f);
  const json::Value back = parsed(out);
  EXPECT_EQ(static_cast<float>(back.number), 3.0e38f);
}

TEST(JsonWriter, stringsEscapeQuotesBackslashesAndControlCharacters) {
  std::string out;
  json::appendString(out, std::string("a\"b\\c\n\x01\x7f\0", 9));
  EXPECT_EQ(out, "\"a\\\"b\\\\c\\n\\u0001\\u007f\\u0000\"");
  EXPECT_EQ(parsed(out).text, std::string("a\"b\\c\n\x01\x7f\0", 9));
}

TEST(JsonWriter, timestampsAreUtcWithMilliseconds) {
  using namespace std::chrono;
  std::string out;
  // 2026-12-07T10:15:30.123Z
  json::appendTimestamp(out, system_clock::time_point(milliseconds(1796638530123LL)));
  EXPECT_EQ(out, "\"2026-12-07T10:15:30.123Z\"");
  out.clear();
  json::appendTimestamp(out, system_clock::time_point(milliseconds(-1)));
  EXPECT_EQ(out, "\"1969-12-31T23:59:59.999Z\"");
}

}  // namespace
