// Where qv450-cli takes the operator token from: a file, the environment or a
// prompt on the terminal; never the command line, which every local user can read.
#pragma once

#include <string>

// The first line of `path`, without its line end. False with a reason when the file
// cannot be read or holds no token.
bool read_token_file(const std::string& path, std::string* token, std::string* error);

// Asks on the controlling terminal with echo off. False when there is no terminal or
// nothing was typed.
bool prompt_token(std::string* token, std::string* error);
