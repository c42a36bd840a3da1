// Driving a simulated module from outside while the tool runs: the lines of the
// "commands" file in the module's folder. No GTK here.
#pragma once

#include <string>
#include <vector>

class SimModule;

// The file the simulated module looks for in its folder; it is taken (renamed, read
// and removed) within a tenth of a second, so lines appended later form a new file.
constexpr const char* SIM_COMMANDS_FILE = "commands";
constexpr int SIM_COMMANDS_CHECK_MS = 100;

// Runs the lines of `text` on the module, one command per line ("#" starts a
// comment line):
//   set BIT...       hold signal bits 0..39 on, over whatever the demo shows
//   clear BIT...     hold them off
//   release BIT...   give them back to the demo ("release all" for every bit)
//   event TEXT       send an event text, CR LF added
//   text TEXT        send an event text as it is, without a line end
//   demo on|off      let signals and event texts change by themselves, or not
//   unplug, plug     pull the USB cable out, put it back
//   unplug at-block N   pull it once block N (0: the first) of a flash is written
//   unplug at-write N   pull it when the N-th configuration memory write arrives
// TEXT takes the escapes \r \n \t \\ and \xHH. Bad lines are reported in `errors`
// (one line each, with the line number) and skipped.
void run_sim_commands(SimModule& module, const std::string& text, std::vector<std::string>* errors);

// Decodes the escapes of an event text.
std::string decode_sim_text(const std::string& text);
