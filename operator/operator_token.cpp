// The operator token from a file or the terminal.
#include "operator/operator_token.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace {

std::string first_line(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

bool read_token_file(const std::string& path, std::string* token, std::string* error) {
    errno = 0;
    std::ifstream file(path);
    std::string line;
    if (!file || !std::getline(file, line)) {
        *error = "cannot read a token from " + path + (errno ? std::string(": ") + std::strerror(errno) : "");
        return false;
    }
    *token = first_line(line);
    if (token->empty()) *error = path + " holds no token on its first line";
    return !token->empty();
}

bool prompt_token(std::string* token, std::string* error) {
    int tty = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) {
        *error = "no operator token: give --token-file FILE or set QV450_OPERATOR_TOKEN";
        return false;
    }
    const char question[] = "Operator token: ";
    ssize_t ignored = write(tty, question, sizeof question - 1);
    termios saved{};
    bool quiet = tcgetattr(tty, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(tty, TCSAFLUSH, &silent);
    }
    std::string typed;
    char c;
    while (read(tty, &c, 1) == 1 && c != '\n') typed.push_back(c);
    if (quiet) tcsetattr(tty, TCSAFLUSH, &saved);
    ignored = write(tty, "\n", 1);
    (void)ignored;
    close(tty);
    *token = first_line(typed);
    if (token->empty()) *error = "no operator token typed";
    return !token->empty();
}
