// The two forms of the command line. Explicit: InputFile, then option
// groups. `_last` form: option groups only; the InputFile is the value of
// the environment variable `_last` with ".bin" appended.
#pragma once

#include <string_view>

#include "driver/run_state.hpp"

enum class Form { Usage, Explicit, Last, NoLastVariable };

// Chooses the form for state.args (args[0] the program path). Sets
// input_file and option_index, and from the whole line group_number (a
// "/groupN" first switch becomes the bare "/group"), no_reserve (logo kinds,
// `_last` form only) and the OSB screen position. `last_variable` is the
// value of `_last`, null when it is not set.
Form choose_form(RunState& state, const char* last_variable);

// Text comparison without regard to case.
bool equals_nocase(std::string_view a, std::string_view b);

// "/err", "/best" and "noreserve": words of the whole command line, not groups. A
// switch followed by one stands alone; the option loop passes over them.
// ("/dry", and "/json" in a dry run, are taken out of the command line
// before its form is chosen.)
bool is_command_word(std::string_view word);
