// The relay's operator token: what the server refuses to run with, and what it says.
#include <gtest/gtest.h>

#include <cstdlib>

#include "relay/relay_options.h"

namespace {

TEST(RelayOptions, GuessableTokensAreRefusedWithHowToSetOne) {
    struct Case {
        const char* token;  // from the environment, as no configuration file is given
        const char* said;   // in the message, or nullptr when the token is accepted
    } cases[] = {
        {"", "no operator token; set operator_token = <16 or more characters>"},
        {"@TOKEN@", "still the template's placeholder @TOKEN@"},
        {"sixteen-chars...", nullptr},
        {"fifteen-chars..", "too short (15 characters)"},
    };
    char program[] = "qv450-relay";
    char* argv[] = {program};
    for (const Case& c : cases) {
        setenv("QV450_OPERATOR_TOKEN", c.token, 1);
        RelayOptions options;
        std::string error;
        bool help = false;
        EXPECT_EQ(parse_relay_options(1, argv, &options, &error, &help), c.said == nullptr) << c.token;
        if (!c.said) continue;
        EXPECT_NE(error.find(c.said), std::string::npos) << error;
        EXPECT_NE(error.find("/etc/qv450/relay.conf"), std::string::npos) << error;
    }
    unsetenv("QV450_OPERATOR_TOKEN");
}

}  // namespace
