// One run of the tool: the command line, the option loop and the end of run.
#pragma once

// Runs the tool on its argument vector and returns the exit status (0 or 1).
int run(int argc, char** argv);
