// The programs running on this system, for refusing to run twice.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The executable base names of the running processes that can be inspected (up to
// 4096); processes whose executable cannot be read are left out.
std::vector<std::string> running_program_names();

}  // namespace platform
