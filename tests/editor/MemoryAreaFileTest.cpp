// Items in every memory area: the file's memory element, the list's address text,
// Add and Increment in the area's unit, and tag lists as CSV.
#include <gtest/gtest.h>

#include "common/configfile/ConfigWriter.h"
#include "common/configfile/MemoryArea.h"
#include "editor/document/ItemStepping.h"
#include "editor/document/ItemText.h"
#include "editor/io/CreateXML.h"
#include "editor/io/CsvTags.h"
#include "editor/io/ImportXML.h"
#include "tests/support/TempDir.h"

using namespace zentarc::editor;
using zentarc::testsupport::TempDir;
namespace cf = zentarc::configfile;

namespace {

// A tag of every area, with types that fit it: the first byte of a bit area for word-sized
// types, any bit for booleans.
std::string everyAreaXml() {
  std::vector<cf::WriterTag> tags;
  for (const cf::MemoryAreaEntry& a : cf::kMemoryAreas) {
    const std::string n(a.name);
    const std::string access = a.readOnly ? "READ" : "READWRITE";
    tags.push_back({"W_" + n, "word " + n, "VT_I4", 0, a.bitArea ? 17 : 7, 0, access, n});
    tags.push_back({"B_" + n, "", "VT_BOOL", a.bitArea ? 0 : 5, a.bitArea ? 3 : 8, 0, access, n});
    tags.push_back({"A_" + n, "", "VT_BOOL ARRAY", 0, a.bitArea ? 30 : 9, 12, access, n});
    tags.push_back({"S_" + n, "", "VT_BSTR", 0, a.bitArea ? 65 : 12, 5, access, n});
  }
  return cf::writeConfig({{"Line1", "10.0.0.1", tags}, {"Line2", "10.0.0.2", {}}});
}

EditorState loaded(const std::string& path) {
  EditorState s;
  s.newCollections();
  const ImportOutcome out = ImportXML(path, s);
  EXPECT_TRUE(out.complete) << out.description;
  return s;
}

std::string csvProblems(const CsvPlan& plan) {
  std::string out;
  for (const CsvProblem& p : plan.problems) out += std::to_string(p.line) + " " + p.column + ": " + p.reason + "\n";
  return out;
}

}  // namespace

TEST(MemoryAreaFile, everyAreaLoadsAndSavesByteForByteAndRTagsStayWithoutTheElement) {
  TempDir dir;
  const std::string xml = everyAreaXml();
  const EditorState s = loaded(dir.write("areas.xml", xml).string());
  EXPECT_EQ(s.colItems->Item("W_AI").sMemory(), "AI");
  EXPECT_EQ(s.colItems->Item("B_SC").sMemory(), "SC");
  EXPECT_EQ(s.colItems->Item("W_R").sMemory(), "R");
  const auto out = dir.file("out.xml");
  ASSERT_TRUE(CreateXML(out.string(), collectionOrder(s), s).ok);
  EXPECT_EQ(TempDir::read(out), xml);
  // %R tags carry no memory element, so files of today stay as they are.
  const std::string r = xml.substr(xml.find("<name>W_R<"), xml.find("<name>B_R<") - xml.find("<name>W_R<"));
  EXPECT_EQ(r.find("<memory>"), std::string::npos);
  EXPECT_NE(xml.find("<memory>AI</memory>\r\n                    <address>7</address>"), std::string::npos);
}

TEST(MemoryAreaFile, anUnknownAreaOrATagTheServerWouldSkipStopsTheReading) {
  TempDir dir;
  struct Case {
    cf::WriterTag tag;
    const char* words;
  };
  const Case cases[] = {
      {{"T", "", "VT_I2", 0, 1, 0, "READ", "ai"}, "names the memory area \"ai\""},
      {{"T", "", "VT_I2", 0, 1, 0, "READ", "X"}, "none of R, AI, AQ"},
      {{"T", "", "VT_I2", 0, 2, 0, "READ", "I"}, "starts on a byte"},
      {{"T", "", "VT_BOOL", 3, 2, 0, "READ", "Q"}, "the bit number must be 0"},
      {{"T", "", "VT_BOOL ARRAY", 0, 65530, 10, "READ", "M"}, "runs past %M65536"},
  };
  for (const Case& c : cases) {
    const auto path = dir.write("bad.xml", cf::writeConfig({{"P", "10.0.0.1", {c.tag}}}));
    EditorState s;
    s.newCollections();
    const ImportOutcome out = ImportXML(path.string(), s);
    EXPECT_FALSE(out.complete) << c.words;
    EXPECT_EQ(s.colItems->Count(), 0u) << c.words;
    EXPECT_NE(out.description.find(c.words), std::string::npos) << out.description;
  }
}

TEST(MemoryAreaFile, addressTextAndAddAndIncrementFollowTheArea) {
  clsPLCItem i;
  i.sPLCName("Line1");
  i.sDataType("boolean");
  i.nDataWord(17);
  i.nBitNumber(2);
  i.sMemory("AI");
  EXPECT_EQ(addressText(i), "Line1/%AI17/bit2");  // a word area keeps the bit
  i.sMemory("I");
  i.nBitNumber(0);
  EXPECT_EQ(addressText(i), "Line1/%I17");
  i.sDataType("unsigned 8 bit array");
  i.nElements(3);
  EXPECT_EQ(addressText(i), "Line1/%I17/len3");
  i.sMemory("");
  EXPECT_EQ(addressText(i), "Line1/%R17/len3");

  struct Row {
    const char* type;
    const char* area;
    double A, E;
    double next;
  };
  const Row rows[] = {
      {"boolean", "I", 5, 0, 6},                 // the next bit
      {"boolean array", "Q", 5, 12, 17},         // its bits
      {"signed 16 bit", "M", 1, 0, 17},          // two bytes
      {"32 bit float", "T", 9, 0, 41},           // four bytes
      {"unsigned 8 bit array", "G", 1, 3, 25},   // three bytes
      {"signed 32 bit array", "SA", 1, 2, 65},   // eight bytes
      {"string", "SB", 1, 5, 41},                // five characters
      {"unsigned 8 bit array", "AI", 100, 3, 103},  // word areas step as %R does
      {"signed 32 bit", "AQ", 100, 0, 102},
  };
  for (const Row& r : rows) {
    const NextPosition n = nextItemPosition(r.type, r.A, r.E, 0, *cf::memoryAreaForFileName(r.area));
    EXPECT_EQ(n.address, r.next) << r.type << " in " << r.area;
    EXPECT_EQ(n.bit.has_value(), cf::memoryAreaForFileName(r.area) <= cf::MemoryArea::AQ && std::string(r.type) == "boolean")
        << r.type << " in " << r.area;
  }
}

TEST(MemoryAreaCsv, everyAreaRoundTripsAndPlainNumbersStayRAddresses) {
  TempDir dir;
  const std::string xml = everyAreaXml();
  const EditorState s = loaded(dir.write("areas.xml", xml).string());
  const std::string csv = exportCsv(collectionOrder(s), s);
  EXPECT_NE(csv.find("Line1,W_R,word R,VT_I4,7,,,READWRITE,10.0.0.1\r\n"), std::string::npos);
  EXPECT_NE(csv.find("Line1,W_AI,word AI,VT_I4,%AI7,,,READWRITE,10.0.0.1\r\n"), std::string::npos);
  EXPECT_NE(csv.find("Line1,B_I,,VT_BOOL,%I3,,,READWRITE,10.0.0.1\r\n"), std::string::npos);  // no bit: the address names it
  EXPECT_NE(csv.find("Line1,B_AQ,,VT_BOOL,%AQ8,5,,READWRITE,10.0.0.1\r\n"), std::string::npos);
  EditorState back;
  back.newCollections();
  const CsvPlan plan = planCsvImport(csv, back);
  ASSERT_EQ(plan.refusedRows, 0u) << csvProblems(plan);
  applyCsvImport(plan, back);
  EXPECT_EQ(buildConfigBytes(collectionOrder(back), back), xml);
}

TEST(MemoryAreaCsv, addressFormsAreReadAndMisplacedTagsAreRefused) {
  EditorState s;
  s.newCollections();
  const std::string csv = "PLC,Name,DataType,Address,Bit,Access,PLC_Address\r\n"
                          "P,A,VT_I2,17,,READ,10.0.0.1\r\n"           // 2
                          "P,B,VT_I2,R18,,READ,\r\n"                  // 3
                          "P,C,VT_I2,%R19,,READ,\r\n"                 // 4
                          "P,D,VT_I2,AI17,,READ,\r\n"                 // 5
                          "P,E,VT_I2,%AI18,,READ,\r\n"                // 6
                          "P,F,VT_I2,%i00017,,READ,\r\n"              // 7
                          "P,G,VT_BOOL,sc3,,READ,\r\n"                // 8
                          "P,H,VT_I2,%I18,,READ,\r\n"                 // 9 off a byte
                          "P,I,VT_I2,%AI0,,READ,\r\n"                 // 10
                          "P,J,VT_I2,%I70000,,READ,\r\n"              // 11
                          "P,K,VT_I2,%XY5,,READ,\r\n"                 // 12
                          "P,L,VT_BOOL,%Q5,3,READ,\r\n"               // 13 a bit number in a bit area
                          "P,M,VT_BOOL,%S5,,READWRITE,\r\n"           // 14 system bits are read-only
                          "P,N,VT_BOOL,%T65535,,READ,\r\n";           // 15 the last bit
  const CsvPlan plan = planCsvImport(csv, s);
  const std::string formHint =
      "Invalid Address value \"%s\": write a number from 1 to 65535, for a memory area other than %R with the area "
      "before it (%AI17, %I17)\n";
  auto hint = [&](const char* text) {
    std::string h = formHint;
    h.replace(h.find("%s"), 2, text);
    return h;
  };
  EXPECT_EQ(csvProblems(plan),
            "9 Address: Invalid Address value: in a bit area this type starts on a byte (address 1, 9, 17, ...)\n"
            "10 Address: " + hint("%AI0") + "11 Address: " + hint("%I70000") + "12 Address: " + hint("%XY5") +
                "13 Bit: Invalid Bit value: in a bit area the address names the bit, so the bit number must be 0\n"
                "14 Access: Invalid Access Right: the system status bits (%S, %SA, %SB, %SC) are read-only; choose "
                "READ\n");
  ASSERT_EQ(plan.rows.size(), 8u);
  const char* areas[] = {"R", "R", "R", "AI", "AI", "I", "SC", "T"};
  const int numbers[] = {17, 18, 19, 17, 18, 17, 3, 65535};
  for (std::size_t k = 0; k < plan.rows.size(); ++k) {
    EXPECT_EQ(plan.rows[k].item.sMemory(), areas[k]) << k;
    EXPECT_EQ(plan.rows[k].item.nDataWord(), numbers[k]) << k;
  }
}
