#include "server/plc/ErrorCatalogue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/TempDir.h"

using zentarc::plc::ErrorCatalogue;
using zentarc::testsupport::TempDir;

namespace {

std::string textOf(const ErrorCatalogue& c, unsigned code) { return c.Text(code).value_or("<none>"); }

}  // namespace

TEST(ErrorCatalogue, linesGiveCodesAndTextsAndTheFirstOfTwoEqualCodesWins) {
  TempDir dir;
  const auto path = dir.write("error.dat", "0040 Bad response\r\n0003 Lost\r\n0040 Second text\r\nFFFF end\r\n");
  ErrorCatalogue c;
  ASSERT_EQ(c.Load(path.string()), 0u);
  EXPECT_EQ(textOf(c, 64), "Bad response");
  EXPECT_EQ(textOf(c, 3), "Lost");
  EXPECT_EQ(textOf(c, 0xFFFF), "end");  // the end line is stored like any other
  EXPECT_EQ(c.size(), 4u);
}

TEST(ErrorCatalogue, lookupOfAMissingCodeGives4AndLeavesTheBufferAlone) {
  TempDir dir;
  const auto path = dir.write("error.dat", "FFFF only\r\n0040 never read\r\n");
  ErrorCatalogue c;
  char buffer[ErrorCatalogue::kTextSize] = "untouched";
  EXPECT_EQ(c.Lookup(64, buffer), 4u);  // nothing loaded yet
  ASSERT_EQ(c.Load(path.string()), 0u);
  EXPECT_EQ(c.size(), 1u);
  EXPECT_EQ(c.Lookup(64, buffer), 4u);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(c.Lookup(0xFFFF, buffer), 0u);
  EXPECT_STREQ(buffer, "only");
}

TEST(ErrorCatalogue, separatorCrGivesAnEmptyTextAndLfOnlyLinesAreRead) {
  TempDir dir;
  const auto path = dir.write("error.dat", "0001\r\n0002 Linux line\n0003\nFFFF end");
  ErrorCatalogue c;
  ASSERT_EQ(c.Load(path.string()), 0u);
  EXPECT_EQ(textOf(c, 1), "");
  EXPECT_EQ(textOf(c, 2), "Linux line");
  EXPECT_EQ(textOf(c, 3), "");
  EXPECT_EQ(textOf(c, 0xFFFF), "end");
}

TEST(ErrorCatalogue, aMissingFileGives1AndIsTriedAgainAtTheNextLoad) {
  TempDir dir;
  ErrorCatalogue c;
  EXPECT_EQ(c.Load(dir.file("error.dat").string()), 1u);
  EXPECT_EQ(c.Load(dir.path().string()), 1u);  // a folder is no file
  EXPECT_FALSE(c.loaded());
  dir.write("error.dat", "0004 Late\r\nFFFF\r\n");
  EXPECT_EQ(c.Load(dir.file("error.dat").string()), 0u);
  EXPECT_EQ(textOf(c, 4), "Late");
  EXPECT_EQ(textOf(c, 0xFFFF), "");
}

TEST(ErrorCatalogue, aFileThatStopsBeforeFfffGives2KeepsWhatWasReadAndIsNotReadAgain) {
  TempDir dir;
  const auto path = dir.write("error.dat", "0001 One\r\n0002 Two\r\n00");
  ErrorCatalogue c;
  EXPECT_EQ(c.Load(path.string()), 2u);
  EXPECT_EQ(textOf(c, 2), "Two");
  dir.write("error.dat", "0001 Changed\r\nFFFF\r\n");
  EXPECT_EQ(c.Load(path.string()), 0u);
  EXPECT_EQ(textOf(c, 1), "One");
}

TEST(ErrorCatalogue, malformedInputGives2AndNeverOverflowsTheTextBuffer) {
  TempDir dir;
  const std::string longText(200, 'x');
  const auto path = dir.write("long.dat", "0001 " + longText + "\r\n0002 two\r\nFFFF\r\n");
  ErrorCatalogue c;
  ASSERT_EQ(c.Load(path.string()), 0u);
  char buffer[ErrorCatalogue::kTextSize + 8];
  std::memset(buffer, '#', sizeof buffer);
  ASSERT_EQ(c.Lookup(1, buffer), 0u);
  EXPECT_EQ(std::strlen(buffer), 63u);
  EXPECT_EQ(buffer[ErrorCatalogue::kTextSize], '#');
  EXPECT_EQ(textOf(c, 2), "two");

  for (const char* bad : {"00G1 bad digit\r\nFFFF\r\n", "0001 no line end", "0001", "", "0001 x\r"}) {
    const auto p = dir.write("bad.dat", bad);
    ErrorCatalogue d;
    EXPECT_EQ(d.Load(p.string()), 2u) << bad;
  }
}

TEST(ErrorCatalogue, theShippedFileHasATextForEveryCodeAndLiesBesideThePrograms) {
  const std::string shipped = ZENTARC_BIN_DIR "/error.dat";
  const std::string raw = TempDir::read(shipped);
  ASSERT_FALSE(raw.empty()) << shipped;
  ErrorCatalogue c;
  ASSERT_EQ(c.Load(shipped), 0u);
  for (unsigned code : {1u, 2u, 3u, 4u, 18u, 32u, 33u, 50u, 51u, 52u, 64u, 65u, 66u}) {
    const auto text = c.Text(code);
    ASSERT_TRUE(text) << code;
    EXPECT_FALSE(text->empty()) << code;
  }
  // Every line ends in CR LF and the file ends with the FFFF line.
  std::size_t lines = 0;
  for (std::size_t pos = 0; pos < raw.size(); ++lines) {
    const auto lf = raw.find('\n', pos);
    ASSERT_NE(lf, std::string::npos);
    ASSERT_GT(lf, pos);
    EXPECT_EQ(raw[lf - 1], '\r');
    EXPECT_LE(lf - 1 - pos, 4u + 1u + 63u);
    pos = lf + 1;
  }
  EXPECT_EQ(lines, c.size());
  const std::size_t lastLine = raw.rfind('\n', raw.size() - 2) + 1;
  EXPECT_EQ(raw.substr(lastLine, 4), "FFFF");
}

TEST(ErrorCatalogue, defaultPathIsBesideTheRunningProgram) {
  const std::string path = ErrorCatalogue::DefaultPath();
  EXPECT_NE(path.find("/error.dat"), std::string::npos);
  EXPECT_EQ(path.rfind("error.dat"), path.size() - 9);
}
