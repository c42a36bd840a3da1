// The support console's command line, restart arguments and title caption.
#include <gtest/gtest.h>

#include "operator/remote_console.h"

TEST(RemoteConsole, CommandLine) {
    const struct {
        std::vector<const char*> argv;
        ConsoleArgs result;
        const char* server;
    } cases[] = {
        {{"qv450", "--lang", "de"}, ConsoleArgs::NONE, ""},
        {{"qv450", "--relay", "relay.example", "--session", "12345678"}, ConsoleArgs::GIVEN, "relay.example:55556"},
        {{"qv450", "--session", "1", "--relay", "h:7000", "--token-file", "t"}, ConsoleArgs::GIVEN, "h:7000"},
        {{"qv450", "--relay", "h:7000"}, ConsoleArgs::BAD, ""},
        {{"qv450", "--relay", "h", "--session"}, ConsoleArgs::BAD, ""},
        {{"qv450", "--relay", "", "--session", "1"}, ConsoleArgs::BAD, ""},
        {{"qv450", "--relay", "h:1", "--session", "1", "--insecure", "--ca-file", "ca"}, ConsoleArgs::BAD, ""},
    };
    for (const auto& c : cases) {
        RemoteConsoleOptions options;
        std::string error;
        EXPECT_EQ(parse_console_args(int(c.argv.size()), c.argv.data(), &options, &error), c.result) << c.argv[1];
        EXPECT_EQ(error.empty(), c.result != ConsoleArgs::BAD) << error;
        EXPECT_EQ(options.server, c.result == ConsoleArgs::GIVEN ? c.server : options.server);
    }
    // The Tools item restarts the program with arguments that parse back.
    const RemoteConsoleOptions restarts[] = {{"h:7000", "12345678", "/tmp/token", "/tmp/ca.crt", false},
                                             {"h:7000", "12345678", "", "", true}};
    for (const RemoteConsoleOptions& options : restarts) {
        std::vector<std::string> arguments = remote_console_arguments(options);
        std::vector<const char*> argv = {"qv450"};
        for (const std::string& argument : arguments) argv.push_back(argument.c_str());
        RemoteConsoleOptions parsed;
        std::string error;
        ASSERT_EQ(parse_console_args(int(argv.size()), argv.data(), &parsed, &error), ConsoleArgs::GIVEN);
        EXPECT_EQ(remote_console_caption(parsed), "remote, session 12345678 at h:7000");
        EXPECT_EQ(parsed.token_file, options.token_file);
        EXPECT_EQ(parsed.ca_file, options.ca_file);
        EXPECT_EQ(parsed.insecure, options.insecure);
    }
}
