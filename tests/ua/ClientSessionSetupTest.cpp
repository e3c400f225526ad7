#include "server/toolkit/ua/ClientSessionSetup.h"

#include <gtest/gtest.h>

using namespace zentarc::ua;

TEST(ClientSessionSetup, everySessionGetsItsOwnNonce) {
  const std::string a = randomNonce();
  const std::string b = randomNonce();
  EXPECT_EQ(a.size(), 32u);
  EXPECT_NE(a, b);
}

TEST(ClientSessionSetup, anonymousPolicyComesFromTheUnsecuredEndpoint) {
  auto endpoint = [](const char* policyUri, const char* tokenId) {
    EndpointDescription ep;
    ep.securityPolicyUri = policyUri;
    UserTokenPolicy user;
    user.policyId = "username";
    user.tokenType = UserTokenType::UserName;
    UserTokenPolicy anon;
    anon.policyId = tokenId;
    anon.tokenType = UserTokenType::Anonymous;
    ep.userIdentityTokens = {user, anon};
    return ep;
  };
  // Servers list secured endpoints after the plain one, each with its own policy ids.
  const std::vector<EndpointDescription> endpoints{
      endpoint(kSecurityPolicyNone, "anon-none"),
      endpoint("http://opcfoundation.org/UA/SecurityPolicy#Basic256Sha256", "anon-secure")};
  EXPECT_EQ(anonymousPolicyId(endpoints), "anon-none");
  EXPECT_EQ(anonymousPolicyId({endpoints[1]}), "anon-secure");
  EXPECT_EQ(anonymousPolicyId({}), "anonymous");
}
