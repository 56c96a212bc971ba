#include "network/HttpClient.h"
#include "network/ProxyClient.h"

#include <gtest/gtest.h>

#include <type_traits>

using namespace orvane;

TEST(NetworkExceptions, FamilyTree)
{
    using P = ProxyClient;
    static_assert(std::is_base_of_v<Exception, HttpClient::BadResponseException>);
    static_assert(std::is_base_of_v<HttpClient::BadResponseException, HttpClient::AuthenticationRequiredException>);
    static_assert(std::is_base_of_v<Exception, P::ProxyException>);
    static_assert(std::is_base_of_v<Exception, P::HostException>);
    static_assert(!std::is_base_of_v<P::ProxyException, P::HostException>);
    static_assert(std::is_base_of_v<P::ProxyException, P::ProxyAuthenticationRequiredException>);
    static_assert(std::is_base_of_v<P::ProxyAuthenticationRequiredException, P::ProxyUnknownAuthenticationRequiredException>);
    static_assert(std::is_base_of_v<P::ProxyAuthenticationRequiredException, P::ProxyNTLMAuthenticationRequiredException>);
    static_assert(std::is_base_of_v<P::ProxyAuthenticationRequiredException, P::ProxyBasicAuthenticationRequiredException>);
    static_assert(std::is_base_of_v<P::ProxyAuthenticationRequiredException, P::ProxyDigestAuthenticationRequiredException>);
    static_assert(std::is_base_of_v<P::ProxyException, P::ProxyAuthenticationFailedException>);
    static_assert(!std::is_base_of_v<P::ProxyAuthenticationRequiredException, P::ProxyAuthenticationFailedException>);

    // Thrown by value and caught through a base, the type survives.
    try {
        throw P::ProxyDigestAuthenticationRequiredException();
    } catch (const P::ProxyException& e) {
        EXPECT_NE(dynamic_cast<const P::ProxyDigestAuthenticationRequiredException*>(&e), nullptr);
    }
    EXPECT_THROW(throw HttpClient::AuthenticationRequiredException(), Exception);
}
