// The programs running on this system, for refusing to run twice.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The executable base names of the running processes that can be inspected (up to
// 4096); processes whose executable cannot be read are left out, and so are those
// given `except_argument` (when not null) as one of their arguments.
std::vector<std::string> running_program_names(const char* except_argument = nullptr);

}  // namespace platform
