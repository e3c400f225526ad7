#pragma once
// Names of the configuration file shared by the server and the editor. Element and
// attribute names are matched exactly, letter case included.
#include <string_view>

namespace zentarc::configfile {

inline constexpr std::string_view kDefaultFileName = "OPCZentarc.xml";

inline constexpr std::string_view kRootElement = "TarvelleZentarcCfg";
inline constexpr std::string_view kDevicesElement = "OPC_DA";
inline constexpr std::string_view kPlcElement = "PLC";
inline constexpr std::string_view kPlcNameAttribute = "name";
inline constexpr std::string_view kPlcAddressAttribute = "IPaddress";
inline constexpr std::string_view kTagsElement = "tags";
inline constexpr std::string_view kTagElement = "tag";
inline constexpr std::string_view kNameElement = "name";
inline constexpr std::string_view kCommentElement = "comment";
inline constexpr std::string_view kDataTypeElement = "datatype";
inline constexpr std::string_view kDataBitElement = "databit";
inline constexpr std::string_view kMemoryElement = "memory";  // optional; absent means R
inline constexpr std::string_view kAddressElement = "address";
inline constexpr std::string_view kElementsElement = "elements";
inline constexpr std::string_view kAccessRightsElement = "accessrights";

// An IPv4 address text in dotted-decimal form has at most 15 characters.
inline constexpr std::size_t kMaxAddressTextLength = 15;

}  // namespace zentarc::configfile
