#include "common/configfile/ConfigWriter.h"

#include <gtest/gtest.h>

using namespace zentarc::configfile;

namespace {

std::string lines(std::initializer_list<const char*> ls) {
  std::string s;
  for (const char* l : ls) {
    s += l;
    s += "\r\n";
  }
  return s;
}

WriterTag tag(const char* name, const char* type, long long bit, long long address,
              long long elements) {
  return WriterTag{name, "", type, bit, address, elements, "READWRITE", ""};
}

}  // namespace

TEST(ConfigWriter, emptyConfigurationIsTheFiveLineFile) {
  EXPECT_EQ(writeConfig({}), lines({
                                 R"(<?xml version="1.0" encoding="ISO-8859-1"?>)",
                                 "<TarvelleZentarcCfg>",
                                 "    <OPC_DA>",
                                 "</OPC_DA>",
                                 "</TarvelleZentarcCfg>",
                             }));
}

TEST(ConfigWriter, writesBitAndElementLinesOnlyForTheirTypes) {
  WriterPlc plc{"P1", "10.0.0.1",
                {tag("a", "VT_I2", 3, 1, 4), tag("b", "VT_BOOL", 3, 2, 4),
                 tag("c", "VT_BOOL ARRAY", 10, 3, 10), tag("d", "VT_BSTR", 0, 4, 8)}};
  WriterPlc empty{"P2", "10.0.0.2", {}};
  const std::string expected = lines({
      R"(<?xml version="1.0" encoding="ISO-8859-1"?>)",
      "<TarvelleZentarcCfg>",
      "    <OPC_DA>",
      R"(        <PLC name="P1" IPaddress="10.0.0.1">)",
      "            <tags>",
      "                <tag>",
      "                    <name>a</name>",
      "                    <comment></comment>",
      "                    <datatype>VT_I2</datatype>",
      "                    <address>1</address>",
      "                    <accessrights>READWRITE</accessrights>",
      "                </tag>",
      "                <tag>",
      "                    <name>b</name>",
      "                    <comment></comment>",
      "                    <datatype>VT_BOOL</datatype>",
      "                    <databit>3</databit>",
      "                    <address>2</address>",
      "                    <accessrights>READWRITE</accessrights>",
      "                </tag>",
      "                <tag>",
      "                    <name>c</name>",
      "                    <comment></comment>",
      "                    <datatype>VT_BOOL ARRAY</datatype>",
      "                    <databit>10</databit>",
      "                    <address>3</address>",
      "                    <elements>10</elements>",
      "                    <accessrights>READWRITE</accessrights>",
      "                </tag>",
      "                <tag>",
      "                    <name>d</name>",
      "                    <comment></comment>",
      "                    <datatype>VT_BSTR</datatype>",
      "                    <address>4</address>",
      "                    <elements>8</elements>",
      "                    <accessrights>READWRITE</accessrights>",
      "                </tag>",
      "            </tags>",
      "        </PLC>",
      R"(        <PLC name="P2" IPaddress="10.0.0.2">)",
      "            <tags>",
      "            </tags>",
      "        </PLC>",
      "</OPC_DA>",
      "</TarvelleZentarcCfg>",
  });
  EXPECT_EQ(writeConfig({plc, empty}), expected);
}

TEST(ConfigWriter, escapesMarkupAndEncodesBeyondLatin1AsReferences) {
  WriterTag t = tag("t", "VT_UI2", 0, 7, 0);
  t.comment = "a<b & c > \"d\" gr\xC3\xBC\xC3\x9F \xE2\x82\xAC";
  WriterPlc plc{"Line \"A\" & B", "1.2.3.4", {t}};
  const std::string out = writeConfig({plc});
  EXPECT_NE(out.find(R"(<PLC name="Line &quot;A&quot; &amp; B" IPaddress="1.2.3.4">)"),
            std::string::npos);
  // The euro sign is beyond ISO-8859-1; its reference must not be escaped again.
  EXPECT_NE(out.find("<comment>a&lt;b &amp; c &gt; \"d\" gr\xFC\xDF &#8364;</comment>"),
            std::string::npos);
}

TEST(ConfigWriter, numbersArePlainDecimal) {
  WriterPlc plc{"P", "", {tag("n", "VT_I1 ARRAY", 0, 999999, -5)}};
  const std::string out = writeConfig({plc});
  EXPECT_NE(out.find("<address>999999</address>"), std::string::npos);
  EXPECT_NE(out.find("<elements>-5</elements>"), std::string::npos);
  EXPECT_EQ(out.find("databit"), std::string::npos);
}

TEST(ConfigWriter, memoryStandsBeforeAddressForEveryAreaButR) {
  WriterTag inI = tag("in", "VT_BOOL", 0, 17, 0);
  inI.memory = "I";
  WriterTag inR = tag("reg", "VT_I2", 0, 5, 0);
  inR.memory = "R";
  const std::string text = writeConfig({WriterPlc{"P", "10.0.0.1", {inI, inR}}});
  EXPECT_NE(text.find("<databit>0</databit>\r\n                    <memory>I</memory>\r\n"
                      "                    <address>17</address>"),
            std::string::npos);
  EXPECT_EQ(text.find("<memory>R</memory>"), std::string::npos);
}
