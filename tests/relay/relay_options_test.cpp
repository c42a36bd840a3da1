// The relay's operator token: what the server refuses to run with, and what it says.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "relay/relay_options.h"

namespace {

TEST(RelayOptions, GuessableTokensAreRefusedWithHowToSetOne) {
    struct Case {
        std::string token;  // from the environment, as no configuration file is given
        const char* said;   // in the message, or nullptr when the token is accepted
    } cases[] = {
        {"", "no operator token; set operator_token = <16 to 112 characters, no blanks, no '#'>"},
        {"@TOKEN@", "still the template's placeholder @TOKEN@"},
        {"sixteen-chars...", nullptr},
        {"fifteen-chars..", "too short (15 characters)"},
        {"two words-of-sixteen", "holds a blank"},
        {"tab\tseparated-token", "holds a blank"},
        {"hash#in-the-middle", "holds '#'"},
        {std::string(112, 'x'), nullptr},
        {std::string(113, 'x'), "too long (113 characters; at most 112 fit"},
    };
    char program[] = "qv450-relay";
    char* argv[] = {program};
    for (const Case& c : cases) {
        setenv("QV450_OPERATOR_TOKEN", c.token.c_str(), 1);
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

// In the file a '#' ends the value: a token that ran into one would be cut short unseen.
TEST(RelayOptions, ATokenCutByACommentIsRefused) {
    struct Case {
        const char* text;
        bool accepted;
    } cases[] = {
        {"operator_token = sixteen-chars-ok # the desk's token\n", true},
        {"operator_token = sixteen-chars-ok#and-more\n", false},
        {"tool_port = 1234#no blank\noperator_token = sixteen-chars-ok\n", true},
    };
    for (const Case& c : cases) {
        RelayOptions options;
        std::string error;
        EXPECT_EQ(apply_relay_config_text(c.text, &options, &error), c.accepted) << c.text;
        if (!c.accepted) {
            EXPECT_EQ(error, "line 1: operator_token runs into '#', which starts a comment: a token cannot hold '#'");
        }
    }
}

// Every key the server takes is in the manual, the README's key table and the packaged
// configuration's template.
TEST(RelayOptions, EveryKeyIsDocumented) {
    auto text = [](const char* path) {
        std::ifstream file(std::string(QV450_SOURCE_DIR) + "/" + path);
        std::stringstream all;
        all << file.rdbuf();
        return all.str();
    };
    const std::string manual = text("packaging/man/qv450-relay.1"), readme = text("README.md"),
                      conf = text("packaging/systemd/relay.conf");
    for (const std::string& key : relay_setting_names()) {
        EXPECT_NE(manual.find(".BR " + key), std::string::npos) << key;
        EXPECT_NE(readme.find("`" + key + "`"), std::string::npos) << key;
        bool in_conf = key == "operator_token" || conf.find("#" + key + " = ") != std::string::npos;
        EXPECT_TRUE(in_conf) << key;
    }
}

}  // namespace
