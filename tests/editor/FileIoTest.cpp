#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/resource.h>
#include <unistd.h>

#include "editor/io/AtomicFile.h"
#include "editor/io/CreateXML.h"
#include "editor/io/ImportXML.h"
#include "tests/support/TempDir.h"

using namespace zentarc::editor;
using zentarc::testsupport::TempDir;

namespace {

const char* kHead = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n    <OPC_DA>\r\n";
const char* kTail = "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";

std::string tagXml(const std::string& name, const std::string& type, const std::string& address,
                   const std::string& extra = "") {
  return "<tag><name>" + name + "</name><comment/><datatype>" + type + "</datatype>" + extra +
         "<address>" + address + "</address><accessrights>READ</accessrights></tag>";
}

std::string plcXml(const std::string& name, const std::string& tags) {
  return "<PLC name=\"" + name + "\" IPaddress=\"10.0.0.1\"><tags>" + tags + "</tags></PLC>";
}

std::string file(const std::string& plcs) { return kHead + plcs + kTail; }

std::vector<TreePlc> treeOf(const EditorState& s) {
  std::vector<TreePlc> tree;
  for (const clsPLC& p : *s.colPLC) {
    TreePlc t{p.getName(), {}};
    for (const clsPLCItem& i : *s.colItems)
      if (i.sPLCName() == p.getName()) t.items.push_back(i.sName());
    tree.push_back(t);
  }
  return tree;
}

}  // namespace

TEST(ImportXML, readsAddressesByTheirLeadingNumberRoundedToEven) {
  TempDir dir;
  const auto path = dir.write("a.xml", file(plcXml("P1", tagXml("a", "VT_I2", "12.5") +
                                                          tagXml("b", "VT_I2", "13.5") +
                                                          tagXml("c", "VT_I2", "7x"))));
  EditorState s;
  s.newCollections();
  std::vector<int> progress;
  const ImportOutcome out = ImportXML(path, s, [&](int p) { progress.push_back(p); });
  ASSERT_TRUE(out.complete) << out.description;
  EXPECT_EQ(s.colItems->Item("a").nDataWord(), 12);
  EXPECT_EQ(s.colItems->Item("b").nDataWord(), 14);
  EXPECT_EQ(s.colItems->Item("c").nDataWord(), 7);
  EXPECT_EQ(s.colItems->Item("c").sDataType(), "signed 16 bit");
  EXPECT_EQ(progress, (std::vector<int>{33, 66, 100}));
}

TEST(ImportXML, readsBitAndElementsOnlyForTheirTypes) {
  TempDir dir;
  const auto path = dir.write(
      "a.xml", file(plcXml("P1", tagXml("i2", "VT_I2", "1", "<databit>5</databit><elements>3</elements>") +
                                     tagXml("ba", "VT_BOOL ARRAY", "2", "<databit>4</databit><elements>9</elements>") +
                                     tagXml("s", "VT_BSTR", "3", "<databit>4</databit><elements>8</elements>") +
                                     tagXml("u", "VT_XX", "4"))));
  EditorState s;
  s.newCollections();
  ASSERT_TRUE(ImportXML(path, s).complete);
  EXPECT_EQ(s.colItems->Item("i2").nBitNumber(), 0);
  EXPECT_EQ(s.colItems->Item("i2").nElements(), 0);
  EXPECT_EQ(s.colItems->Item("ba").nBitNumber(), 4);
  EXPECT_EQ(s.colItems->Item("ba").nElements(), 9);
  EXPECT_EQ(s.colItems->Item("s").nBitNumber(), 0);
  EXPECT_EQ(s.colItems->Item("s").nElements(), 8);
  EXPECT_EQ(s.colItems->Item("u").sDataType(), "");
}

TEST(ImportXML, stopsAtTheFirstFaultKeepingWhatWasReadAndSaysSo) {
  TempDir dir;
  struct Case {
    std::string body;
    std::size_t plcs, items;
    std::string words;
  };
  const std::vector<Case> cases = {
      // Same item name under two PLCs, differing only in letter case.
      {plcXml("P1", tagXml("T1", "VT_I2", "1")) + plcXml("P2", tagXml("t1", "VT_I2", "2")) +
           plcXml("P3", ""),
       2, 1, "already used"},
      // An item named like a PLC, and a PLC named like the group node.
      {plcXml("P1", tagXml("p1", "VT_I2", "1")), 1, 0, "already used"},
      {plcXml("plcs", ""), 0, 0, "already used"},
      {"<PLC name=\"P1\"><tags/></PLC>", 0, 0, "IPaddress"},
      {"<PLC name=\"P1\" IPaddress=\"x\"/>", 1, 0, "tags"},
      {plcXml("P1", "<tag><name>a</name><comment/><datatype>VT_BOOL</datatype><address>1</address>"
                    "<accessrights>READ</accessrights></tag>"),
       1, 0, "databit"},
      {plcXml("P1", tagXml("a", "VT_I2", "99999999999")), 1, 0, "address \"99999999999\" is out of the range"},
      // Tags the server would skip are not taken in either, so they are never written back.
      {plcXml("P1", tagXml("a", "VT_I2 ARRAY", "5", "<elements>-3</elements>")), 1, 0,
       "The item \"a\" cannot be loaded by the server: Invalid number of Elements"},
      {plcXml("P1", tagXml("a", "VT_I2", "70000")), 1, 0, "reads addresses from 1 to 65535"},
      {plcXml("P1", tagXml("a", "VT_I4 ARRAY", "65534", "<elements>2</elements>")), 1, 0, "past register 65536"},
      {plcXml("P1", tagXml("a", "VT_BOOL", "5", "<databit>16</databit>")), 1, 0, "Invalid Bit value"},
      {plcXml("P1", tagXml(" ", "VT_I2", "5")), 1, 0, "An item has an empty name"},
      {plcXml("P1", tagXml("a&#10;b", "VT_I2", "5")), 1, 0, "line break"},
      {plcXml(" ", ""), 0, 0, "cannot be loaded by the server: the name is made of blanks only"},
  };
  for (const Case& c : cases) {
    const auto path = dir.write("f.xml", file(c.body));
    EditorState s;
    s.newCollections();
    const ImportOutcome out = ImportXML(path, s);
    EXPECT_FALSE(out.complete) << c.body;
    EXPECT_EQ(s.colPLC->Count(), c.plcs) << c.body;
    EXPECT_EQ(s.colItems->Count(), c.items) << c.body;
    EXPECT_NE(out.description.find(c.words), std::string::npos) << out.description;
    EXPECT_NE(out.description.find("Only part of the file was loaded"), std::string::npos);
    EXPECT_NE(out.description.find("line "), std::string::npos);
  }
}

TEST(ImportXML, aStoppedReadingSaysWhatWasNotRead) {
  TempDir dir;
  const auto path = dir.write("f.xml", file(plcXml("P1", tagXml("A", "VT_I2", "1") + tagXml("B", "VT_I2", "0") +
                                                        tagXml("C", "VT_I2", "3")) +
                                          plcXml("P2", tagXml("D", "VT_I2", "4")) + plcXml("P3", "")));
  EditorState s;
  s.newCollections();
  const ImportOutcome out = ImportXML(path, s);
  EXPECT_FALSE(out.complete);
  EXPECT_TRUE(out.parsed);
  EXPECT_EQ(out.itemsInFile, 4u);
  EXPECT_EQ(out.plcsInFile, 3u);
  EXPECT_EQ(unreadPartText(out), "2 PLCs and 3 items");
  EXPECT_EQ(out.stopLine, 4u);
}

TEST(ImportXML, reportsAnUnreadableFileWithItsLine) {
  TempDir dir;
  const auto path = dir.write("bad.xml", std::string(kHead) + "<PLC name=\"a\">\r\n<oops></PLC>");
  EditorState s;
  s.newCollections();
  const ImportOutcome out = ImportXML(path, s);
  EXPECT_FALSE(out.complete);
  EXPECT_NE(out.description.find("line 5"), std::string::npos) << out.description;
  EXPECT_EQ(ImportXML((dir.path() / "missing.xml").string(), s).complete, false);
}

TEST(CreateXML, fileInTheWritersLayoutRoundTripsByteForByte) {
  TempDir dir;
  const std::string original = file(
      std::string("        <PLC name=\"L&amp;1\" IPaddress=\"192.168.0.10\">\r\n") +
      "            <tags>\r\n"
      "                <tag>\r\n"
      "                    <name>Temp_1</name>\r\n"
      "                    <comment>gr\xFC\xDF &lt;5&gt; &#8364;</comment>\r\n"
      "                    <datatype>VT_BOOL ARRAY</datatype>\r\n"
      "                    <databit>4</databit>\r\n"
      "                    <address>100</address>\r\n"
      "                    <elements>9</elements>\r\n"
      "                    <accessrights>READ</accessrights>\r\n"
      "                </tag>\r\n"
      "            </tags>\r\n"
      "        </PLC>\r\n"
      "        <PLC name=\"Empty\" IPaddress=\"\">\r\n"
      "            <tags>\r\n"
      "            </tags>\r\n"
      "        </PLC>\r\n");
  const auto path = dir.write("rt.xml", original);
  EditorState s;
  s.newCollections();
  ASSERT_TRUE(ImportXML(path, s).complete);
  EXPECT_EQ(s.colItems->Item("Temp_1").sComment(), "gr\xC3\xBC\xC3\x9F <5> \xE2\x82\xAC");
  const auto out = dir.file("out.xml").string();
  ASSERT_TRUE(CreateXML(out, treeOf(s), s).ok);
  EXPECT_EQ(TempDir::read(out), original);
}

TEST(CreateXML, aFailedWriteLeavesTheOldFileIntact) {
  TempDir dir;
  const auto path = dir.write("cfg.xml", "old contents");
  EditorState s;
  s.newCollections();
  clsPLC p;
  p.setName("P");
  s.colPLC->Add(p, "P");
  std::vector<TreePlc> tree{{"P", {}}};
  for (int i = 0; i < 200; ++i) {
    clsPLCItem item;
    item.sName("item" + std::to_string(i));
    item.sPLCName("P");
    item.sDataType("signed 16 bit");
    s.colItems->Add(item, item.sName());
    tree[0].items.push_back(item.sName());
  }
  // A file size limit makes the write fail part way, as a full disk would; it holds even
  // for root, which a read-only folder would not stop.
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const WriteOutcome out = CreateXML(path.string(), tree, s);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(out.ok);
  EXPECT_NE(out.description.find("old file is unchanged"), std::string::npos);
  EXPECT_EQ(TempDir::read(path), "old contents");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(CreateXML, aReadOnlyFolderIsReportedAndKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const auto path = dir.write("ro/cfg.xml", "old");
  std::filesystem::permissions(path.parent_path(), std::filesystem::perms::owner_read |
                                                       std::filesystem::perms::owner_exec);
  std::string error;
  EXPECT_FALSE(writeFileAtomically(path.string(), "new", &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
  EXPECT_EQ(TempDir::read(path), "old");
}

TEST(CreateXML, keepsThePermissionsOfTheFileItReplaces) {
  TempDir dir;
  const auto path = dir.write("cfg.xml", "old");
  std::filesystem::permissions(path, std::filesystem::perms(0640));
  ASSERT_TRUE(writeFileAtomically(path.string(), "new", nullptr));
  EXPECT_EQ(TempDir::read(path), "new");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0640));
}
