// The two-page usage screen.
#pragma once

#include <string>

// Prints the syntax, the two pages of switches and the examples, naming the
// program by `program_path`. With `page_prompt`, the first page ends with
// the prompt, which waits for a key on a terminal.
void print_usage(const std::string& program_path, bool page_prompt);

// How the syntax lines and examples name the program: the path itself when
// it is at most 19 characters long; otherwise "D:\...\NAME" with the drive
// letter and the part after the last backslash, or, for a path without
// backslashes, the part after its last "/".
std::string program_display_name(const std::string& program_path);
