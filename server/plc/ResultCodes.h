#pragma once
// Result codes of the PLC side. Every link operation returns one of these; 0 is success.
// The numbers are shared with error.dat, the status window and the quality mapping, so they
// must never be renumbered.
#include <cstdint>

namespace zentarc::plc {

using ResultCode = unsigned;

// Transport (TcpChannel and GeLink set-up).
inline constexpr ResultCode kOk = 0;
inline constexpr ResultCode kSendFailed = 1;
inline constexpr ResultCode kReceiveFailed = 2;
inline constexpr ResultCode kConnectionLost = 3;       // the channel has been closed
inline constexpr ResultCode kNoAnswer = 4;             // nothing received within 1000 ms
inline constexpr ResultCode kSocketsVersion = 16;      // kept for the catalogue; never raised here
inline constexpr ResultCode kNoTcpProtocol = 17;
inline constexpr ResultCode kResourceFailure = 18;
inline constexpr ResultCode kNotConnected = 32;        // connect refused or not done within 1 s
inline constexpr ResultCode kChannelNotOpen = 33;
inline constexpr ResultCode kInvalidArgument = 50;
inline constexpr ResultCode kAddressNotAvailable = 51;
inline constexpr ResultCode kMessageTooLong = 52;

// Protocol (GE service-request messages).
inline constexpr ResultCode kBadResponse = 64;         // wrong length, sequence number or status
inline constexpr ResultCode kHandshakeRefused = 65;
inline constexpr ResultCode kRequestRefused = 66;

// Codes 1 to 63 mean the transport failed: the caller rebuilds its connections. Protocol
// failures (64 and up) leave the connections as they are.
constexpr bool isTransportFailure(ResultCode code) { return code >= 1 && code <= 63; }

}  // namespace zentarc::plc
