#include "server/plc/AddressText.h"

#include <gtest/gtest.h>

using zentarc::plc::parseAddressText;

TEST(AddressText, dottedDecimalAddressesGiveTheirFourBytes) {
  EXPECT_EQ(parseAddressText("192.168.10.200"), (std::array<std::uint8_t, 4>{192, 168, 10, 200}));
  EXPECT_EQ(parseAddressText("127.0.0.2"), (std::array<std::uint8_t, 4>{127, 0, 0, 2}));
  // Leading zeros are decimal, as a plant engineer means them (never octal).
  EXPECT_EQ(parseAddressText("010.001.000.099"), (std::array<std::uint8_t, 4>{10, 1, 0, 99}));
}

TEST(AddressText, anythingElseIsRefused) {
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1..2.3",
                          "a.b.c.d", "1.2.3.-4", "1.2.3.0004", "192.168.100.1000", "0.0.0.0",
                          "255.255.255.255", "1.2.3.4\n", "1,2,3,4", "plc1.local",
                          "1234567890123456789012345678901234567890"}) {
    EXPECT_FALSE(parseAddressText(bad)) << bad;
  }
}
