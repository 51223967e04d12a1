#include <gtest/gtest.h>

#include <cstdio>

#include "archive/HmacSha1.h"

namespace kestrel {
namespace {

std::string Hex(std::string_view bytes)
{
    std::string text;
    for (char c : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

// The published PBKDF2-HMAC-SHA1 vectors (RFC 6070), which exercise SHA-1 and HMAC with them.
TEST(HmacSha1, DerivesThePublishedKeys)
{
    struct Case {
        std::string password;
        std::string salt;
        int iterations;
        std::size_t length;
        const char* expected;
    };
    const Case cases[] = {
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16,
         "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, Hex(Pbkdf2HmacSha1(c.password, c.salt, c.iterations, c.length)));
    }
}

}  // namespace
}  // namespace kestrel
