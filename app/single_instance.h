// Refusing to run while another copy of the program runs.
#pragma once

#include <string>
#include <vector>

// How many of the running programs' names contain the own file name (the part of the
// program path after its last '/'); the program itself is one of them.
int count_own_instances(const std::vector<std::string>& running, const char* program_path);

// With a second copy running: message 65, wait until it is closed, exit with status 1.
void check_single_instance(const char* program_path);
