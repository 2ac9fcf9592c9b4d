// One run of the tool: the command line, the option loop and the end of run.
#pragma once

// The tool's version, as the banner and the JSON reports give it.
inline constexpr const char* kVersion = "1.52";

// Runs the tool on its argument vector and returns the exit status (0 or 1).
int run(int argc, char** argv);
