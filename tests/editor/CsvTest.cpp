// Tag lists as CSV: the text format, the row checks, the round trip and the command line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include <sys/wait.h>

#include "common/configfile/ConfigWriter.h"
#include "common/configfile/DataTypes.h"
#include "editor/io/CsvCommand.h"
#include "editor/io/CsvTags.h"
#include "editor/io/CsvText.h"
#include "editor/io/ImportXML.h"
#include "tests/support/TempDir.h"

using namespace zentarc::editor;
using zentarc::testsupport::TempDir;
namespace cf = zentarc::configfile;

namespace {

const char* const kHeader = "PLC,Name,Comment,DataType,Address,Bit,Elements,Access\r\n";

EditorState onePlc() {
  EditorState s;
  s.newCollections();
  clsPLC plc;
  plc.setName("P1");
  plc.setUI("10.0.0.1");
  s.colPLC->Add(plc, "P1");
  clsPLCItem item;
  item.sName("Temp");
  item.sPLCName("P1");
  item.sDataType("signed 16 bit");
  item.nDataWord(10);
  item.sAccessRight("READ");
  s.colItems->Add(item, "Temp");
  return s;
}

std::string problems(const CsvPlan& plan) {
  std::string out;
  for (const CsvProblem& p : plan.problems)
    out += std::to_string(p.line) + " " + p.column + ": " + p.reason + "\n";
  return out;
}

// Every data type, comments that need quoting or references, an empty PLC.
std::string plantXml() {
  auto tag = [](const char* name, const char* comment, const char* type, int address, int bit = 0, int elements = 0,
                const char* access = "READWRITE") { return cf::WriterTag{name, comment, type, bit, address, elements, access, ""}; };
  std::vector<cf::WriterTag> tags;
  int address = 1;
  for (const auto& t : cf::kDataTypes)
    tags.push_back(tag(("T_" + std::string(t.fileName).substr(3)).c_str(), "", std::string(t.fileName).c_str(), address++ * 10,
                       std::string(t.fileName).find("BOOL") != std::string::npos ? 7 : 0, 4));
  tags.push_back(tag("Quoted", "say \"hi\", then <stop> & go", "VT_I2", 500, 0, 0, "READ"));
  tags.push_back(tag("Euro \xE2\x82\xAC", "caf\xC3\xA9 ; tab", "VT_UI2", 501, 0, 0, "WRITE"));
  tags.push_back(tag("Padded", "  blanks around  ", "VT_I2", 502));
  return cf::writeConfig({{"Line 1", "192.168.0.1", tags}, {"Empty", "192.168.0.2", {}},
                          {"Line2.B", "192.168.0.3", {tag("Last", "", "VT_R4", 65535)}}});
}

int run(std::vector<std::string> args, std::string* err = nullptr) {
  std::ostringstream out, errors;
  const int code = runCsvCommand(args, out, errors);
  if (err) *err = errors.str();
  return code;
}

}  // namespace

TEST(CsvText, quotedFieldsHoldDelimitersQuotesAndLineBreaks) {
  const CsvTable t = parseCsv("a,\"b,c\",\"say \"\"hi\"\"\"\r\n\"two\nlines\",x,\r\n\r\nlast,,", ',');
  ASSERT_TRUE(t.error.empty()) << t.error;
  ASSERT_EQ(t.records.size(), 3u);
  EXPECT_EQ(t.records[0].fields, (std::vector<std::string>{"a", "b,c", "say \"hi\""}));
  EXPECT_EQ(t.records[1].fields, (std::vector<std::string>{"two\nlines", "x", ""}));
  EXPECT_EQ(t.records[1].line, 2u);
  EXPECT_EQ(t.records[2].line, 5u);  // the quoted line break and the blank line count
  EXPECT_EQ(t.records[2].fields, (std::vector<std::string>{"last", "", ""}));
  for (const char* value : {"plain", "a,b", "q\"q", " lead", "line\r\nbreak", ""}) {
    const CsvTable back = parseCsv(csvField(value) + ",end\n", ',');
    ASSERT_EQ(back.records.size(), 1u) << value;
    EXPECT_EQ(back.records[0].fields[0], value);
  }
}

TEST(CsvText, brokenQuotingIsReportedWithItsLine) {
  const CsvTable open = parseCsv("a,b\nc,\"never closed\nd,e\n", ',');
  EXPECT_EQ(open.errorLine, 2u);
  EXPECT_NE(open.error.find("never closed"), std::string::npos);
  EXPECT_EQ(open.records.size(), 1u);
  const CsvTable trailing = parseCsv("a,\"b\"c\n", ',');
  EXPECT_NE(trailing.error.find("follows a closing quote"), std::string::npos);
}

TEST(CsvText, encodingsAndDelimitersAreDetected) {
  std::string text, error;
  ASSERT_TRUE(decodeCsvText("\xEF\xBB\xBFPLC,caf\xC3\xA9", text, error));
  EXPECT_EQ(text, "PLC,caf\xC3\xA9");  // BOM dropped
  ASSERT_TRUE(decodeCsvText("caf\xE9 \x80 \x93", text, error));
  EXPECT_EQ(text, "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C");  // Windows-1252: e acute, euro, left quote
  EXPECT_FALSE(decodeCsvText("\xFF\xFEP\0L\0", text, error));
  EXPECT_NE(error.find("UTF-16"), std::string::npos);
  EXPECT_EQ(detectDelimiter("PLC;Name;DataType\r\n1,5;x"), ';');
  EXPECT_EQ(detectDelimiter("PLC\tName"), '\t');
  EXPECT_EQ(detectDelimiter("PLC,Name;x"), ',');
}

TEST(CsvImport, everyRefusedRowIsListedWithLineColumnAndReason) {
  const EditorState state = onePlc();
  const std::string csv = std::string(kHeader) +
                          "P1,Good,c,VT_I2,11,,,READ\r\n"           // 2
                          "P1,temp,,VT_I2,12,,,READ\r\n"            // 3 taken in any case
                          "P1, ,,VT_I2,13,,,READ\r\n"               // 4 blanks only
                          "P1,Neg,,VT_I2 ARRAY,14,,-3,READ\r\n"     // 5 negative count
                          "P1,Far,,VT_I2,70000,,,READ\r\n"          // 6 above 65535
                          "P1,Past,,VT_UI2 ARRAY,65530,,10,READ\r\n"  // 7 past R65536
                          "P1,Bit,,VT_BOOL,15,16,,READ\r\n"         // 8
                          "P1,Type,,VT_I1,16,,,READ\r\n"            // 9
                          "P1,Acc,,VT_I2,17,,,ALL\r\n"              // 10
                          "P1,Good,,VT_I2,18,,,READ\r\n"            // 11 taken by line 2
                          "P1,\"Two\nLines\",,VT_I2,19,,,READ\r\n"  // 12-13
                          "P1,Com,a\ab,VT_I2,20,,,READ\r\n"          // 14 a bell in the comment
                          "P1,Short,,VT_I2\r\n"                     // 15
                          "PLCs,X,,VT_I2,21,,,READ\r\n"             // 16
                          "P1,Bits,,VT_I2,22,3,,READ\r\n"           // 17 a bit for a type without one
                          "p1,Ok2,,signed 32 bit,23,,,readwrite\r\n";  // 18 names compare without case
  const CsvPlan plan = planCsvImport(csv, state);
  ASSERT_TRUE(plan.fileError.empty()) << plan.fileError;
  EXPECT_EQ(problems(plan),
            "3 Name: Name already existing. Please use a different item name\n"
            "4 Name: Empty fields. Check Item name\n"
            "5 Elements: Invalid number of Elements: must be between 0 and 32767\n"
            "6 Address: Invalid Address value: must be between 1 and 65535\n"
            "7 Address: Invalid Address value: the item's registers run past register 65536\n"
            "8 Bit: Invalid Bit value: must be between 0 and 15\n"
            "9 DataType: Unknown Data type \"VT_I1\": use a type name such as VT_I2\n"
            "10 Access: Invalid Access Right \"ALL\": use READ, WRITE or READWRITE\n"
            "11 Name: Name already existing. Please use a different item name\n"
            "12 Name: Invalid Item name: it holds a line break or another control character\n"
            "14 Comment: Invalid Comment: it holds a control character (only tabs and line breaks may stand in a "
            "comment)\n"
            "15 : the row has 4 fields, the header 8\n"
            "16 PLC: Name already existing. Please use a different PLC name\n"
            "17 Bit: the data type \"signed 16 bit\" has no bit number\n");
  EXPECT_EQ(plan.refusedRows, 14u);
  ASSERT_EQ(plan.rows.size(), 2u);
  EXPECT_EQ(plan.rows[1].plc, "P1");  // the existing PLC's own spelling
  EXPECT_EQ(plan.rows[1].item.sAccessRight(), "READWRITE");
  EXPECT_EQ(plan.rows[1].item.sDataType(), "signed 32 bit");
  EXPECT_TRUE(plan.newPlcs.empty());
}

TEST(CsvImport, newPlcsTakeTheirAddressFromTheFileOrStayWithoutOne) {
  const EditorState state = onePlc();
  const std::string csv = "PLC;Name;DataType;Address;PLC_Address\n"
                          "P2;A;VT_I2;1;10.0.0.2\n"
                          "P2;B;VT_I2;2;\n"
                          "P2;C;VT_I2;3;10.0.0.9\n"   // another address for the same PLC
                          "P3;D;VT_I2;4;10.0.0.1\n"   // the address of P1
                          "P4;;;;\n"                  // a PLC without tags, no address
                          "P1;E;VT_I2;5;10.0.0.7\n";  // differs from P1's address
  CsvPlan plan = planCsvImport(csv, state);
  EXPECT_EQ(problems(plan),
            "4 PLC_Address: PLC_Address \"10.0.0.9\" differs from \"10.0.0.2\" given on line 2\n"
            "5 PLC_Address: PLC ID already existing. Please use a different one\n"
            "7 PLC_Address: PLC_Address \"10.0.0.7\" differs from the address of PLC \"P1\" (\"10.0.0.1\")\n");
  ASSERT_EQ(plan.newPlcs.size(), 2u);
  EXPECT_EQ(plan.newPlcs[0].address, "10.0.0.2");
  EXPECT_EQ(plan.newPlcs[1].name, "P4");
  EXPECT_EQ(checkNewPlcAddress(plan, state, "10.0.0.2"), "PLC ID already existing. Please use a different one");
  EXPECT_EQ(checkNewPlcAddress(plan, state, ""), "Empty fields. Check PLC IP Address");
  EXPECT_EQ(checkNewPlcAddress(plan, state, "10.0.0.4"), "");
  refuseRowsWithoutAddress(plan);
  EXPECT_EQ(plan.newPlcs.size(), 1u);
  EXPECT_EQ(plan.refusedRows, 4u);
  EXPECT_NE(problems(plan).find("6 PLC_Address: no address was given for the new PLC \"P4\""), std::string::npos);
}

TEST(CsvImport, aFileThatIsNoTagListIsRefusedWhole) {
  const EditorState state = onePlc();
  EXPECT_EQ(planCsvImport("", state).fileError, "the file holds no header line");
  EXPECT_NE(planCsvImport("PLC,Name,Colour\n", state).fileError.find("unknown column \"Colour\""), std::string::npos);
  EXPECT_NE(planCsvImport("PLC,Name,Address\n", state).fileError.find("no column DataType"), std::string::npos);
  EXPECT_NE(planCsvImport("\"PLC,Name\n", state).fileError.find("never closed"), std::string::npos);
}

TEST(CsvRoundTrip, exportThenImportGivesTheSameXmlByteForByte) {
  TempDir dir;
  const std::string xml = plantXml();
  const auto source = dir.write("plant.xml", xml);
  const auto csv = dir.file("plant.csv"), back = dir.file("back.xml");
  std::string err;
  ASSERT_EQ(run({"--export-csv", source.string(), "--output", csv.string()}, &err), kCsvAllTaken) << err;
  const std::string text = TempDir::read(csv);
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "PLC,Name,Comment,DataType,Address,Bit,Elements,Access,PLC_Address");
  EXPECT_NE(text.find("Line 1,Quoted,\"say \"\"hi\"\", then <stop> & go\",VT_I2,500,,,READ,192.168.0.1\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Empty,,,,,,,,192.168.0.2\r\n"), std::string::npos);
  ASSERT_EQ(run({"--import-csv", csv.string(), "--output", back.string()}, &err), kCsvAllTaken) << err;
  EXPECT_EQ(TempDir::read(back), xml);
}

TEST(CsvCommandLine, exitStatusSaysWhetherEveryRowWasTaken) {
  TempDir dir;
  const auto base = dir.write("base.xml", cf::writeConfig({{"P1", "10.0.0.1", {{"Temp", "", "VT_I2", 0, 10, 0, "READ", ""}}}}));
  const auto good = dir.write("good.csv", std::string(kHeader) + "P1,New,,VT_I4,20,,,READ\r\n");
  const auto mixed = dir.write("mixed.csv", std::string(kHeader) + "P1,A,,VT_I4,30,,,READ\r\nP1,Temp,,VT_I2,31,,,READ\r\n");
  const auto out = dir.file("out.xml");
  std::string err;
  EXPECT_EQ(run({"--import-csv", good.string(), "--output", out.string(), "--base", base.string()}, &err), kCsvAllTaken);
  EXPECT_NE(TempDir::read(out).find("<name>New</name>"), std::string::npos);
  EXPECT_NE(TempDir::read(out).find("<name>Temp</name>"), std::string::npos);

  const auto refused = dir.file("refused.xml");
  EXPECT_EQ(run({"--import-csv", mixed.string(), "--output", refused.string(), "--base=" + base.string()}, &err),
            kCsvSomeRefused);
  EXPECT_NE(err.find("mixed.csv:3: Name: Name already existing"), std::string::npos) << err;
  EXPECT_NE(err.find("1 row refused; nothing was written (--partial writes the 1 good row)"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(refused));  // nothing written without --partial
  EXPECT_EQ(run({"--import-csv", mixed.string(), "--output", refused.string(), "--base", base.string(), "--partial"}),
            kCsvSomeRefused);
  EXPECT_NE(TempDir::read(refused).find("<name>A</name>"), std::string::npos);

  // A new PLC without PLC_Address cannot be asked for here: its rows are refused.
  const auto noAddress = dir.write("noaddr.csv", std::string(kHeader) + "P9,X,,VT_I2,1,,,READ\r\n");
  EXPECT_EQ(run({"--import-csv", noAddress.string(), "--output", dir.file("n.xml").string()}, &err), kCsvSomeRefused);
  EXPECT_NE(err.find("no address was given for the new PLC \"P9\""), std::string::npos) << err;

  // Unreadable input, a wrong command line, an unwritable output: 2.
  EXPECT_EQ(run({"--import-csv", dir.file("missing.csv").string(), "--output", out.string()}), kCsvFailed);
  EXPECT_EQ(run({"--import-csv", dir.write("bad.csv", "Colour\r\n").string(), "--output", out.string()}), kCsvFailed);
  EXPECT_EQ(run({"--import-csv", good.string(), "--output", out.string(), "--base", dir.write("b.xml", "<x").string()}),
            kCsvFailed);
  EXPECT_EQ(run({"--export-csv", dir.write("broken.xml", "not xml").string(), "--output", dir.file("e.csv").string()}),
            kCsvFailed);
  EXPECT_EQ(run({"--import-csv", good.string()}), kCsvFailed);
  EXPECT_EQ(run({"--import-csv", good.string(), "--export-csv", base.string(), "--output", out.string()}), kCsvFailed);
  EXPECT_EQ(run({"--import-csv", good.string(), "--output", out.string(), "--colour"}), kCsvFailed);
  EXPECT_EQ(run({"--import-csv", good.string(), "--output", (dir.path() / "no" / "such" / "dir.xml").string(),
                 "--base", base.string()}),
            kCsvFailed);
}

TEST(CsvCommandLine, exportOfAPartlyReadableFileWritesOnlyWithPartial) {
  TempDir dir;
  const std::string head = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><TarvelleZentarcCfg><OPC_DA>";
  const auto file = dir.write("dup.xml", head +
      "<PLC name=\"P\" IPaddress=\"1\"><tags><tag><name>A</name><comment/><datatype>VT_I2</datatype>"
      "<address>1</address><accessrights>READ</accessrights></tag><tag><name>a</name><comment/>"
      "<datatype>VT_I2</datatype><address>2</address><accessrights>READ</accessrights></tag></tags></PLC>"
      "</OPC_DA></TarvelleZentarcCfg>");
  const auto csv = dir.file("dup.csv");
  EXPECT_EQ(run({"--export-csv", file.string(), "--output", csv.string()}), kCsvSomeRefused);
  EXPECT_FALSE(std::filesystem::exists(csv));
  EXPECT_EQ(run({"--export-csv", file.string(), "--output", csv.string(), "--partial"}), kCsvSomeRefused);
  EXPECT_EQ(TempDir::read(csv), "PLC,Name,Comment,DataType,Address,Bit,Elements,Access,PLC_Address\r\nP,A,,VT_I2,1,,,READ,1\r\n");
}

#ifdef ZENTARC_EDITOR_PROGRAM
// The program itself, without any display: the command-line mode opens no window.
TEST(CsvCommandLine, theProgramRunsTheCommandLineModeWithoutADisplay) {
  TempDir dir;
  const auto xml = dir.write("p.xml", plantXml());
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" ZENTARC_EDITOR_PROGRAM
                              "' --export-csv '" + xml.string() + "' --output '" + dir.file("p.csv").string() +
                              "' > /dev/null 2>&1";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.file("p.csv")));
  const int refused = std::system(("env -u DISPLAY '" ZENTARC_EDITOR_PROGRAM "' --import-csv '" +
                                   dir.write("x.csv", "PLC,Name,DataType,Address\nP,A,VT_I2,0\n").string() +
                                   "' --output '" + dir.file("x.xml").string() + "' 2> /dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(refused));
  EXPECT_EQ(WEXITSTATUS(refused), 1);
}
#endif
