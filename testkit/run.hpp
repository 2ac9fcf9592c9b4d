// Runs a program as a child process, the way a build script would, and
// collects what it printed on each channel and its exit status.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct RunResult {
    std::string out;  // standard output
    std::string err;  // standard error (the console channel)
    int status = -1;  // exit status; -1 when it did not exit normally
};

struct RunOptions {
    std::string input;                                     // fed to standard input
    std::vector<std::pair<std::string, std::string>> env;  // set (value) in the child
    std::vector<std::string> unset_env;                    // removed in the child
    std::string argv0;                                     // argument 0; the path when empty
};

RunResult run_program(const std::string& path, const std::vector<std::string>& args, const RunOptions& options = {});

// Whether file modes do not bind this process (root on Linux; Windows has
// no such user: its read-only attribute binds an administrator too).
bool running_as_root();

// The console text `text` as one line: each break a note's layout made
// (a line end and two blanks) back to the blank it was, and the remaining
// line ends dropped (the console's own wrap at 80 columns, the messages' ends).
std::string unfolded(std::string text);

// Runs the tool built with the tests.
RunResult run_tool(const std::vector<std::string>& args, const RunOptions& options = {});

}  // namespace testkit
