#pragma once
// What a PLC's IPaddress must be: a dotted IPv4 address, four decimal numbers 0 to 255
// separated by dots, with no blanks, signs or host names. The one rule that the server's
// loader, --check-config, the editor's PLC dialog, Duplicate PLC and the CSV import apply,
// so that a PLC the editor accepts is one the server can connect to.
#include <string_view>

namespace zentarc::configfile {

// "192.168.0.10" and "010.0.0.1" (leading zeros read as decimal) pass; "", " 10.0.0.1",
// "10.0.0", "127.0.1.300", "localhost" and "1.2.3.4.5" do not.
bool isDottedIpv4(std::string_view text);

// A short phrase for messages: "the IP address is empty", "the IP address "x" is not a
// dotted IPv4 address (four numbers 0 to 255)".
std::string plcAddressFaultText(std::string_view text);

}  // namespace zentarc::configfile
