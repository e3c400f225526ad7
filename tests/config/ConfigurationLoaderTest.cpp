// The configuration loader: what it builds from a file, and how it reports and skips bad input.
#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "server/config/ConfigurationLoader.h"
#include "server/opc/PlcTag.h"
#include "server/opc/ServerQueues.h"
#include "server/plc/DeviceList.h"
#include "server/plc/PlcDevice.h"
#include "server/toolkit/SODaSNameSpaceRoot.h"
#include "tests/support/TempDir.h"

using namespace zentarc;

namespace {

class CollectedWarnings : public ConfigWarnings {
 public:
  void warning(std::string_view caption, std::string_view text) override {
    captions.emplace_back(caption);
    texts.emplace_back(text);
  }
  std::vector<std::string> captions;
  std::vector<std::string> texts;
};

std::string tagXml(const std::string& name, const std::string& type, const std::string& address,
                   const std::string& extra = "", const std::string& access = "READWRITE") {
  return "<tag><name>" + name + "</name><comment></comment><datatype>" + type + "</datatype>" + extra +
         "<address>" + address + "</address><accessrights>" + access + "</accessrights></tag>\r\n";
}

std::string plcXml(const std::string& attrs, const std::string& tags) {
  return "<PLC " + attrs + ">\r\n<tags>\r\n" + tags + "</tags>\r\n</PLC>\r\n";
}

std::string fileXml(const std::string& plcs) {
  return "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<TarvelleZentarcCfg>\r\n    <OPC_DA>\r\n" + plcs +
         "</OPC_DA>\r\n</TarvelleZentarcCfg>\r\n";
}

class LoaderTest : public ::testing::Test {
 protected:
  int load(const std::string& bytes) { return loadPath(dir.write("cfg.xml", bytes).string()); }
  int loadPath(const std::string& path) {
    return LoadConfiguration(path, *root, devices, queues, warnings);
  }
  PlcTag* tag(const char* name) {
    SOCmnPointer<SODaSTag> t = root->findTag(name);
    return dynamic_cast<PlcTag*>(t.get());  // the root keeps it alive
  }
  std::vector<std::string> tagNames() {
    std::vector<std::string> names;
    for (const auto& t : root->getTags()) names.push_back(t->getName());
    return names;
  }
  bool warned(const std::string& tagText, const std::string& problem) {
    for (const auto& t : warnings.texts)
      if (t.find(tagText) != std::string::npos && t.find(problem) != std::string::npos) return true;
    return false;
  }

  testsupport::TempDir dir;
  SOCmnPointer<SODaSNameSpaceRoot> root{new SODaSNameSpaceRoot()};
  DeviceList devices;
  std::shared_ptr<ServerQueues> queues = std::make_shared<ServerQueues>();
  CollectedWarnings warnings;
};

}  // namespace

TEST_F(LoaderTest, buildsDevicesAndTagsInFileOrder) {
  const std::string file = fileXml(
      plcXml("name=\"Line1\" IPaddress=\"127.0.0.5\"",
             tagXml("Level", "VT_I2", "40") +
                 "<tag><accessrights>READ</accessrights><address>1</address><databit>3</databit>"
                 "<datatype>VT_BOOL</datatype><comment>Pump &lt;on&gt; &amp; ready</comment><name>Run</name></tag>\r\n" +
                 tagXml("Flags", "VT_BOOL ARRAY", "100", "<databit>14</databit><elements>4</elements>", "WRITE")) +
      plcXml("IPaddress=\"127.0.0.6\" name=\"Line2\"",
             tagXml("Text", "VT_BSTR", "65533", "<elements>5</elements>") + tagXml("Temp", "VT_R4", " 12 ")));
  EXPECT_EQ(load(file), 1);
  EXPECT_TRUE(warnings.texts.empty()) << warnings.texts[0];

  ASSERT_EQ(devices.getCount(), 2u);
  EXPECT_EQ(devices.getIndex(0)->name, "Line1");
  EXPECT_EQ(devices.getIndex(0)->addressText, "127.0.0.5");
  EXPECT_EQ(devices.find("Line2"), devices.getIndex(1));
  EXPECT_EQ(devices.getIndex(0)->getObjectType(), 0x08000000u);

  // One flat namespace over all PLCs, in configuration order.
  EXPECT_EQ(tagNames(), (std::vector<std::string>{"Level", "Run", "Flags", "Text", "Temp"}));
  EXPECT_EQ(tag("Level")->address, 39);
  EXPECT_EQ(tag("Level")->getNativeDatatype(), VT_I2);
  EXPECT_EQ(tag("Level")->getAccessRights(), 3u);
  EXPECT_EQ(tag("Level")->device(), devices.getIndex(0));
  EXPECT_EQ(tag("Run")->address, 0);  // address 1 is register index 0
  EXPECT_EQ(tag("Run")->bit, 3);
  EXPECT_EQ(tag("Run")->getAccessRights(), 1u);
  EXPECT_EQ(tag("Run")->getDescription(), "Pump <on> & ready");
  EXPECT_EQ(tag("Flags")->bit, 14);
  EXPECT_EQ(tag("Flags")->count, 4);
  EXPECT_EQ(tag("Flags")->getAccessRights(), 2u);
  EXPECT_EQ(tag("Flags")->getCache()->getValue().arrayCount(), 4u);
  EXPECT_EQ(tag("Text")->device(), devices.getIndex(1));
  EXPECT_EQ(tag("Text")->getCache()->getValue().bstrVal().size(), 5u);
  EXPECT_EQ(tag("Temp")->address, 11);
}

TEST_F(LoaderTest, declaredIsoLatin1ArrivesAsUtf8) {
  // 0xE9 is é in ISO-8859-1; the euro sign, beyond it, is a character reference.
  const std::string file = fileXml(plcXml("name=\"Kessel\xE9\" IPaddress=\"127.0.0.7\"",
                                          "<tag><name>Temp\xE9rature</name><comment>\xB0" "C &#8364;</comment>"
                                          "<datatype>VT_I2</datatype><address>2</address>"
                                          "<accessrights>READ</accessrights></tag>"));
  EXPECT_EQ(load(file), 1);
  EXPECT_TRUE(warnings.texts.empty());
  EXPECT_EQ(devices.getIndex(0)->name, "Kessel\xC3\xA9");
  ASSERT_NE(tag("Temp\xC3\xA9rature"), nullptr);
  EXPECT_EQ(tag("Temp\xC3\xA9rature")->getDescription(), "\xC2\xB0" "C \xE2\x82\xAC");
}

TEST_F(LoaderTest, emptyDevicesElementLoadsNothingSilently) {
  EXPECT_EQ(load(fileXml("")), 1);
  EXPECT_EQ(devices.getCount(), 0u);
  EXPECT_TRUE(warnings.texts.empty());
}

TEST_F(LoaderTest, devicesElementMustBeTheRootsFirstChild) {
  const std::string noDevices =
      "<?xml version=\"1.0\"?><TarvelleZentarcCfg>" + plcXml("name=\"P\" IPaddress=\"127.0.0.8\"", "") +
      "<OPC_DA/></TarvelleZentarcCfg>";
  EXPECT_EQ(load(noDevices), 0);
  const std::string commentFirst = "<?xml version=\"1.0\"?><TarvelleZentarcCfg><!-- note --><OPC_DA>" +
                                   plcXml("name=\"P\" IPaddress=\"127.0.0.8\"", "") + "</OPC_DA></TarvelleZentarcCfg>";
  EXPECT_EQ(load(commentFirst), 0);
  ASSERT_EQ(warnings.texts.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(warnings.texts[i], "Wrong XML file syntax: no devices element\n");
    EXPECT_EQ(warnings.captions[i], "OPC G.E. Tcp/Ip Server");
  }
  EXPECT_EQ(devices.getCount(), 0u);
}

TEST_F(LoaderTest, otherRootOrUnknownElementsAreSkipped) {
  EXPECT_EQ(load("<?xml version=\"1.0\"?><tarvellezentarccfg><OPC_DA/></tarvellezentarccfg>"), 1);
  EXPECT_EQ(load(fileXml("<Extra/>" + plcXml("name=\"P\" IPaddress=\"127.0.0.9\"",
                                            "<other/><tag><name>A</name><unknown>1</unknown><name>B</name>"
                                            "<datatype>VT_UI2</datatype><address>9</address>"
                                            "<accessrights>READ</accessrights></tag>"))),
            1);
  EXPECT_TRUE(warnings.texts.empty());
  EXPECT_EQ(tagNames(), std::vector<std::string>{"B"});  // a later child overrides an earlier one
}

TEST_F(LoaderTest, unknownTypeOrAccessLoadsWithANote) {
  EXPECT_EQ(load(fileXml(plcXml("name=\"P\" IPaddress=\"127.0.0.10\"",
                                tagXml("OneByte", "VT_I1", "5") + tagXml("NoAccess", "VT_I2", "6", "", "read")))),
            1);
  EXPECT_EQ(tag("OneByte")->getNativeDatatype(), 0);
  EXPECT_EQ(tag("NoAccess")->getAccessRights(), 0u);
  ASSERT_EQ(warnings.texts.size(), 2u);
  EXPECT_TRUE(warned("\"OneByte\"", "datatype \"VT_I1\" is not a known type"));
  EXPECT_TRUE(warned("\"OneByte\"", "not served to OPC UA clients"));
  EXPECT_TRUE(warned("\"NoAccess\"", "accessrights \"read\""));
}

TEST_F(LoaderTest, everyBadTagIsReportedOnceAndSkipped) {
  const std::string tags =
      tagXml("Good1", "VT_I2", "1") +
      tagXml("Letters", "VT_I2", "abc") + tagXml("TooBig", "VT_I2", "70000") + tagXml("Zero", "VT_I2", "0") +
      tagXml("Negative", "VT_I2", "-1") + tagXml("Fraction", "VT_I2", "1.5") +
      "<tag><name>NoAddress</name><datatype>VT_I2</datatype><accessrights>READ</accessrights></tag>" +
      tagXml("BadBit", "VT_BOOL", "3", "<databit>x</databit>") +
      tagXml("HighBit", "VT_BOOL", "3", "<databit>16</databit>") +
      tagXml("BadCount", "VT_UI2 ARRAY", "3", "<elements>99999</elements>") +
      tagXml("PastEndArray", "VT_I4 ARRAY", "65534", "<elements>2</elements>") +
      tagXml("PastEndBits", "VT_BOOL ARRAY", "65535", "<databit>15</databit><elements>18</elements>") +
      tagXml("Good1", "VT_I4", "20") + tagXml("GOOD1", "VT_I2", "21") +
      "<tag><datatype>VT_I2</datatype><address>4</address></tag>" +
      tagXml("Line\nBreak", "VT_I2", "5") + tagXml("Tab\tName", "VT_I2", "6") +
      tagXml("LastI4", "VT_I4", "65535") + tagXml("LastI2", "VT_I2", "65535") +
      tagXml("Bit15", "VT_BOOL", "7", "<databit>15</databit>") +
      tagXml("Dotted name & more", "VT_I2", "8");
  EXPECT_EQ(load(fileXml(plcXml("name=\"P\" IPaddress=\"127.0.0.11\"", tags))), 1);

  // R65536 is the last register of the table: a VT_I4 at 65535 ends there and loads.
  EXPECT_EQ(tagNames(), (std::vector<std::string>{"Good1", "LastI4", "LastI2", "Bit15", "Dotted name & more"}));
  EXPECT_EQ(tag("Good1")->getNativeDatatype(), VT_I2);  // the first of the two keeps the name
  EXPECT_EQ(tag("LastI4")->address, 65534);
  EXPECT_EQ(warnings.texts.size(), 16u);
  EXPECT_TRUE(warned("\"Letters\"", "address \"abc\" is not a number from 1 to 65535"));
  EXPECT_TRUE(warned("\"TooBig\"", "address \"70000\""));
  EXPECT_TRUE(warned("\"Zero\"", "address \"0\""));
  EXPECT_TRUE(warned("\"Negative\"", "address \"-1\""));
  EXPECT_TRUE(warned("\"Fraction\"", "address \"1.5\""));
  EXPECT_TRUE(warned("\"NoAddress\"", "has no address"));
  EXPECT_TRUE(warned("\"BadBit\"", "databit \"x\""));
  EXPECT_TRUE(warned("\"HighBit\"", "databit 16 is above 15"));
  EXPECT_TRUE(warned("\"BadCount\"", "elements \"99999\""));
  EXPECT_TRUE(warned("\"PastEndArray\"", "run past register 65536 (address 65534, 4 registers)"));
  EXPECT_TRUE(warned("\"PastEndBits\"", "run past register 65536"));
  EXPECT_TRUE(warned("\"Good1\"", "already used"));
  EXPECT_TRUE(warned("\"GOOD1\"", "already used"));  // names are unique in any letter case
  EXPECT_TRUE(warned("\"Line\nBreak\"", "line break or another control character"));
  EXPECT_TRUE(warned("\"Tab\tName\"", "line break or another control character"));
  EXPECT_TRUE(warned("A tag without a name", "not loaded"));
  for (const auto& t : warnings.texts) {
    EXPECT_NE(t.find("PLC \"P\""), std::string::npos) << t;
    EXPECT_NE(t.find("line "), std::string::npos) << t;
  }
  for (const auto& c : warnings.captions) EXPECT_EQ(c, "OPC G.E. Tcp/Ip Server");
}

TEST_F(LoaderTest, plcWithoutNameOrAddressIsSkippedWithItsTags) {
  const std::string file = fileXml(plcXml("IPaddress=\"127.0.0.12\"", tagXml("Orphan1", "VT_I2", "1")) +
                                   plcXml("name=\"NoIp\"", tagXml("Orphan2", "VT_I2", "x")) +
                                   plcXml("name=\"Ok\" IPaddress=\"127.0.0.13\"", tagXml("Kept", "VT_I2", "2")));
  EXPECT_EQ(load(file), 1);
  ASSERT_EQ(devices.getCount(), 1u);
  EXPECT_EQ(devices.getIndex(0)->name, "Ok");
  EXPECT_EQ(tagNames(), std::vector<std::string>{"Kept"});
  ASSERT_EQ(warnings.texts.size(), 2u);  // one per PLC, nothing for the tags inside
  EXPECT_TRUE(warned("A PLC without a name", "The PLC and its tags are not loaded"));
  EXPECT_TRUE(warned("PLC \"NoIp\"", "has no IPaddress"));
}

TEST_F(LoaderTest, plcsThatCannotWorkAsConfiguredAreNamedWithTheirLinesYetStillLoad) {
  const std::string file = fileXml(plcXml("name=\"Line1\" IPaddress=\"127.0.1.300\"", "") +   // line 4
                                   plcXml("name=\"Line2\" IPaddress=\"localhost\"", "") +     // line 8
                                   plcXml("name=\"Line3\" IPaddress=\" 127.0.1.3\"", "") +    // line 12
                                   plcXml("name=\"\" IPaddress=\"127.0.1.4\"", "") +          // line 16
                                   plcXml("name=\"line1\" IPaddress=\"127.0.1.5\"", "") +     // line 20
                                   plcXml("name=\"Line6\" IPaddress=\"127.0.1.5\"", "") +     // line 24
                                   plcXml("name=\"Line7\" IPaddress=\"127.0.1.7\"", ""));
  EXPECT_EQ(load(file), 1);
  EXPECT_EQ(devices.getCount(), 7u);  // all of them, as before: stored files may rely on it
  ASSERT_EQ(warnings.texts.size(), 6u);
  EXPECT_TRUE(warned("PLC \"Line1\" (line 4)", "\"127.0.1.300\" is not a dotted IPv4 address"));
  EXPECT_TRUE(warned("PLC \"Line1\" (line 4)", "its tags are Bad"));
  EXPECT_TRUE(warned("PLC \"Line2\" (line 8)", "\"localhost\" is not a dotted IPv4 address"));
  EXPECT_TRUE(warned("PLC \"Line3\" (line 12)", "\" 127.0.1.3\" is not a dotted IPv4 address"));
  EXPECT_TRUE(warned("PLC \"\" (line 16)", "the name is empty"));
  EXPECT_TRUE(warned("PLC \"line1\" (line 20)", "the name is already used by another PLC"));
  EXPECT_TRUE(warned("PLC \"Line6\" (line 24)", "the IP address is already used by PLC \"line1\""));
}

TEST_F(LoaderTest, stringsAndArraysOfNoElementsLoadWithANote) {
  const std::string file = fileXml(plcXml("name=\"P\" IPaddress=\"127.0.0.14\"",
                                          tagXml("Text", "VT_BSTR", "1", "<elements>0</elements>") +
                                              tagXml("Words", "VT_I2 ARRAY", "2") +
                                              tagXml("Fine", "VT_I2 ARRAY", "3", "<elements>2</elements>")));
  EXPECT_EQ(load(file), 1);
  EXPECT_EQ(tagNames(), (std::vector<std::string>{"Text", "Words", "Fine"}));
  ASSERT_EQ(warnings.texts.size(), 2u);
  EXPECT_TRUE(warned("Tag \"Text\" (PLC \"P\", line 6)", "a string of 0 characters"));
  EXPECT_TRUE(warned("Tag \"Words\" (PLC \"P\", line 7)", "an array of 0 elements"));
  EXPECT_TRUE(warned("\"Words\"", "every read and write of it fails"));
}

TEST_F(LoaderTest, unreadableFilesAreReportedLoadNothingAndFail) {
  EXPECT_EQ(load(fileXml(plcXml("name=\"P\" IPaddress=\"127.0.0.14\"", tagXml("A", "VT_I2", "1"))) +
                 "<TarvelleZentarcCfg"),
            0);
  EXPECT_EQ(load("\r\n<TarvelleZentarcCfg><OPC_DA><PLC name=\"P\"></OPC_DA>"), 0);
  EXPECT_EQ(loadPath(dir.file("missing.xml").string()), 0);
  EXPECT_EQ(devices.getCount(), 0u);
  EXPECT_EQ(root->getTagCount(), 0u);
  ASSERT_EQ(warnings.texts.size(), 3u);
  EXPECT_TRUE(warned("could not be read", "Nothing was loaded"));
  EXPECT_NE(warnings.texts[1].find("(line 2, column"), std::string::npos) << warnings.texts[1];
  EXPECT_TRUE(warned("missing.xml", "could not be opened"));
}

// Reproducer: a configuration path naming a FIFO blocked the start for good, and one naming
// /dev/zero was read until memory ran out.
TEST_F(LoaderTest, onlyPlainFilesOfSaneSizeAreRead) {
  const std::string fifo = dir.file("fifo.xml").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(loadPath(fifo), 0);
  EXPECT_EQ(loadPath("/dev/zero"), 0);
  const std::string huge = dir.file("huge.xml").string();
  {
    std::ofstream out(huge);
  }
  ASSERT_EQ(::truncate(huge.c_str(), (64ll << 20) + 1), 0);  // sparse: no disk used
  EXPECT_EQ(loadPath(huge), 0);
  EXPECT_EQ(devices.getCount(), 0u);
  ASSERT_EQ(warnings.texts.size(), 3u);
  EXPECT_TRUE(warned("fifo.xml", "is not a plain file"));
  EXPECT_TRUE(warned("/dev/zero", "is not a plain file"));
  EXPECT_TRUE(warned("huge.xml", "is larger than 64 MiB"));
}
