#pragma once
// The server's fixed identity: registration data, window and dialog texts, command ids.
#include <cstdint>

namespace zentarc::shell {

inline constexpr const char* kClassId = "{6E2B7C1A-3F48-4D6B-9C2E-58A1D0F3B7E4}";
inline constexpr const char* kProgId = "Tarvelle.ZentarcOPCServerDA.1";
inline constexpr const char* kVersionIndependentProgId = "Tarvelle.ZentarcOPCServerDA";
inline constexpr const char* kDescription = "Tarvelle G.E. Tcp/Ip OPC DA Server";
inline constexpr const char* kVendorLine = "Tarvelle Automation, Via dell'Industria 12, 20100 Milano, Italy";
inline constexpr std::uint16_t kVersionMajor = 1;
inline constexpr std::uint16_t kVersionMinor = 10;
inline constexpr std::uint16_t kVersionBuild = 100;
inline constexpr std::uint8_t kSupportedOpcVersions = 3;
inline constexpr std::uint32_t kMinUpdateRate = 50;

inline constexpr const char* kWindowClassName = "TarvelleOPCServer";
inline constexpr int kWindowWidth = 506;
inline constexpr int kWindowHeight = 100;

// Messages the program shows.
inline constexpr const char* kConfigCaption = "G.E. Tcp/Ip OPC Server";
inline constexpr const char* kNoConfigText = "The configuration file couldn't be loaded !";
inline constexpr const char* kNoPlcCaption = "OPC GE Server";
inline constexpr const char* kNoPlcText = "No GE PLC configured. OPC Server being closed.";
inline constexpr const char* kShutdownReason = "Server shutdown";
inline constexpr std::uint32_t kClientShutdownWaitMs = 10000;

// Trace of a failed start.
inline constexpr std::uint32_t kStartTraceMask = 0x10000000;
inline constexpr const char* kStartTraceId = "DMS";
inline constexpr const char* kStartTraceText = "Can't start the OPC server";

// Menu commands.
inline constexpr int kCmdExit = 40001;
inline constexpr int kCmdAbout = 40002;
inline constexpr int kCmdCommStatus = 40003;
inline constexpr int kCmdRefresh = 1004;

inline constexpr const char* kAboutText = "GE Tcp/Ip OPC DA Server - Ver. 1.0.0.0  Win32 ";
inline constexpr const char* kCommStatusTitle = "Communication Status";
inline constexpr const char* kTreeRootText = "PLCs Network";

}  // namespace zentarc::shell
