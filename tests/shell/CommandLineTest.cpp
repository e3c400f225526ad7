#include <gtest/gtest.h>

#include "server/shell/CommandLine.h"

using namespace zentarc::shell;

namespace {

CommandLine parse(std::vector<std::string> args) { return parseCommandLine(args); }

}  // namespace

TEST(CommandLine, slashOrHyphenThenRegserverInAnyCaseRegisters) {
  for (const char* text : {"/regserver", "-RegServer", "-REGSERVER", "/RegServer"})
    EXPECT_EQ(parse({text}).action, Switch::RegServer) << text;
  EXPECT_EQ(parse({"-UnRegServer"}).action, Switch::UnregServer);
  EXPECT_EQ(parse({"/unregserver"}).action, Switch::UnregServer);
}

TEST(CommandLine, embeddingAndEmbeddedMeanStartedOnDemand) {
  EXPECT_EQ(parse({"-Embedding"}).action, Switch::Embedding);
  EXPECT_EQ(parse({"/EMBEDDED"}).action, Switch::Embedding);
}

TEST(CommandLine, twoHyphensAFurtherWordOrNoLeaderServeNormally) {
  const CommandLine twoHyphens = parse({"--regserver"});
  EXPECT_EQ(twoHyphens.action, Switch::None);
  EXPECT_TRUE(twoHyphens.error.empty());
  ASSERT_EQ(twoHyphens.notices.size(), 1u);  // said, not silently dropped
  EXPECT_NE(twoHyphens.notices[0].find("--regserver"), std::string::npos);

  const CommandLine extra = parse({"-regserver", "extra"});
  EXPECT_EQ(extra.action, Switch::None);
  EXPECT_EQ(extra.switchText, "-regserver extra");
  EXPECT_EQ(parse({"regserver"}).action, Switch::None);
  EXPECT_EQ(parse({"-regserverx"}).action, Switch::None);
  EXPECT_EQ(parse({"-"}).action, Switch::None);
  EXPECT_EQ(parse({}).action, Switch::None);
}

TEST(CommandLine, ownOptionsNeverReadAsTheSwitch) {
  const CommandLine cl = parse({"--endpoint", "opc.tcp://127.0.0.1:4999", "-Embedding", "--config=/x/y.xml",
                                "--headless"});
  EXPECT_EQ(cl.action, Switch::Embedding);
  EXPECT_EQ(cl.endpoint.value_or(""), "opc.tcp://127.0.0.1:4999");
  EXPECT_EQ(cl.configFile.value_or(""), "/x/y.xml");
  EXPECT_TRUE(cl.headless);
  EXPECT_TRUE(cl.error.empty());
  EXPECT_TRUE(parse({"--help"}).help);
}

TEST(CommandLine, optionsWithoutUsableValuesAreErrors) {
  EXPECT_NE(parse({"--endpoint"}).error, "");
  EXPECT_NE(parse({"--config"}).error, "");
  EXPECT_NE(parse({"--config="}).error, "");
  const CommandLine bad = parse({"--endpoint", "http://x"});
  EXPECT_NE(bad.error.find("opc.tcp://"), std::string::npos);
  EXPECT_FALSE(parse({"--headless=yes"}).headless);  // an unknown form, reported as such
}

TEST(CommandLine, securityOptions_takeTheirValuesInEitherForm_andRefuseUnknownOnes) {
  const CommandLine cl = parse({"--security", "Aes256_Sha256_RsaPss, None", "--anonymous=off", "--users", "/u",
                                "--pki=/p"});
  ASSERT_TRUE(cl.error.empty()) << cl.error;
  EXPECT_EQ(cl.security.value_or(""), "Aes256_Sha256_RsaPss, None");
  EXPECT_EQ(cl.anonymous.value_or(""), "off");
  EXPECT_EQ(cl.users.value_or(""), "/u");
  EXPECT_EQ(cl.pki.value_or(""), "/p");
  EXPECT_NE(parse({"--security", "Basic128Rsa15"}).error.find("unknown security policy \"Basic128Rsa15\""),
            std::string::npos);
  EXPECT_NE(parse({"--security="}).error, "");
  EXPECT_NE(parse({"--anonymous", "yes"}).error.find("off, read or write"), std::string::npos);
  std::vector<std::string> names;
  std::string error;
  ASSERT_TRUE(parseSecurityList(kDefaultSecurity, names, error));
  EXPECT_EQ(names, (std::vector<std::string>{"Basic256Sha256", "Aes128_Sha256_RsaOaep", "Aes256_Sha256_RsaPss"}));
  ASSERT_TRUE(parseSecurityList("None,None", names, error));
  EXPECT_EQ(names, (std::vector<std::string>{"None"}));
}

TEST(CommandLine, userAdministration_needsARoleToAdd_andOneThingAtATime) {
  const CommandLine add = parse({"--add-user", "op", "--role", "writer", "--users=/etc/x"});
  ASSERT_TRUE(add.error.empty());
  EXPECT_EQ(add.addUser.value_or(""), "op");
  EXPECT_EQ(add.role.value_or(""), "writer");
  EXPECT_NE(parse({"--add-user", "op"}).error.find("--role"), std::string::npos);
  EXPECT_NE(parse({"--add-user", "op", "--role", "admin"}).error.find("reader or writer"), std::string::npos);
  EXPECT_NE(parse({"--add-user", "a", "--role", "reader", "--remove-user", "b"}).error, "");
  EXPECT_EQ(parse({"--remove-user=op"}).removeUser.value_or(""), "op");
}
