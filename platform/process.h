// Replacing the running program by a new copy of itself: the stand-in for the
// Windows CreateProcessA followed by ExitProcess(0).
#pragma once

namespace platform {

constexpr int PROCESS_COMMAND_SIZE = 4096;  // bytes for all arguments with their terminators
constexpr int PROCESS_MAX_ARGUMENTS = 12;   // argv entries, the executable included: a console's nine fit

// An argument vector in one fixed buffer: argv[0] is the executable, argv[argc] is
// null. The pointers point into `text`, so the record is not copyable.
struct ProcessCommand {
    char text[PROCESS_COMMAND_SIZE] = {};
    char* argv[PROCESS_MAX_ARGUMENTS + 1] = {};
    int argc = 0;

    ProcessCommand() = default;
    ProcessCommand(const ProcessCommand&) = delete;
    ProcessCommand& operator=(const ProcessCommand&) = delete;
};

// Fills `out` with the executable followed by `count` arguments (null entries count
// as ""). The executable must fit whole, or the result is false and `out` holds no
// arguments (argc 0). Arguments that do not fit in what is left are cut (an argument
// with no room left, and every one after it, is dropped); the result is then still
// true. Nothing is written outside `out`.
bool build_process_command(const char* executable, const char* const* arguments, int count,
                           ProcessCommand* out);

// Marks every descriptor from 3 up close-on-exec, so that a started program gets only
// standard input, output and error.
void mark_descriptors_close_on_exec();

// Replaces the running process by `command.argv[0]` run with `command.argv` and the
// same environment (execv). Descriptors beyond standard input, output and error are
// not inherited, and the new program starts with no blocked signals. When the
// command is empty or execv fails, the process ends with exit code 0. Never returns.
[[noreturn]] void replace_process(const ProcessCommand& command);

}  // namespace platform
