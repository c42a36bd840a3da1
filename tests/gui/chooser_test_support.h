// File choosers in GUI tests: answered from the idle loop once they are shown, as a
// user picking a folder and a name would.
#pragma once

#include <string>
#include <vector>

struct ChooserAnswer {
    std::string folder;        // where to go; "" to stay
    std::string name;          // save: typed name (a full path too); open: file to select
    bool accept = true;
    std::string started_in;    // the folder the chooser opened in
    std::string title;
    std::vector<std::string> filters;  // the names of its filters
    int shown = 0;
};

// What the next choosers are answered with, and what was seen of them.
extern ChooserAnswer chooser_answer;

// Starts answering every file chooser shown (with a fresh chooser_answer), after
// giving the test HOME the folders a chooser expects in a user's home.
void start_answering_choosers();
void stop_answering_choosers();
