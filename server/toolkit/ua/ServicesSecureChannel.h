#pragma once
// OpenSecureChannel and CloseSecureChannel.
#include "server/toolkit/ua/ServicesCommon.h"

namespace zentarc::ua {

enum class SecurityTokenRequestType : int32_t { Issue = 0, Renew = 1 };

struct ChannelSecurityToken {
  uint32_t channelId = 0;
  uint32_t tokenId = 0;
  DateTime createdAt;
  uint32_t revisedLifetime = 0;  // ms
  ZUA_FIELDS(channelId, tokenId, createdAt, revisedLifetime)
};

struct OpenSecureChannelRequest {
  static constexpr uint32_t kEncodingId = Id::OpenSecureChannelRequest;
  RequestHeader requestHeader;
  uint32_t clientProtocolVersion = 0;
  SecurityTokenRequestType requestType = SecurityTokenRequestType::Issue;
  MessageSecurityMode securityMode = MessageSecurityMode::None;
  ByteString clientNonce;
  uint32_t requestedLifetime = 0;
  ZUA_FIELDS(requestHeader, clientProtocolVersion, requestType, securityMode, clientNonce,
             requestedLifetime)
};

struct OpenSecureChannelResponse {
  static constexpr uint32_t kEncodingId = Id::OpenSecureChannelResponse;
  ResponseHeader responseHeader;
  uint32_t serverProtocolVersion = 0;
  ChannelSecurityToken securityToken;
  ByteString serverNonce;
  ZUA_FIELDS(responseHeader, serverProtocolVersion, securityToken, serverNonce)
};

struct CloseSecureChannelRequest {
  static constexpr uint32_t kEncodingId = Id::CloseSecureChannelRequest;
  RequestHeader requestHeader;
  ZUA_FIELDS(requestHeader)
};

struct CloseSecureChannelResponse {
  static constexpr uint32_t kEncodingId = Id::CloseSecureChannelResponse;
  ResponseHeader responseHeader;
  ZUA_FIELDS(responseHeader)
};

}  // namespace zentarc::ua
