// The two-page usage screen, and the words --help adds to it.
#pragma once

#include <string>

// Prints the syntax, the two pages of switches and the examples, naming the
// program by `program_path`. With `page_prompt`, the first page ends with
// the prompt, which waits for a key on a terminal.
void print_usage(const std::string& program_path, bool page_prompt);

// The second part of --help: one line for each word of the command line the
// usage screen does not show (common/command_words.hpp), then where the
// manual page is.
void print_command_words();

// How the syntax lines and examples name the program: the path itself when
// it is at most 19 characters long; otherwise "D:\...\NAME" with the drive
// letter and the part after the last backslash, or, for a path without
// backslashes, the part after its last "/".
std::string program_display_name(const std::string& program_path);
