// The two forms of the command line: which one applies, where the InputFile
// comes from, and the settings read from the whole line before the first group.
#include "driver/command_line.hpp"

#include <cstdlib>
#include <string>
#include <strings.h>

namespace {

constexpr int kMaxGroupDigits = 4;  // more digits than any group needs; keeps the number bounded

// Switches that may stand alone as the only option of a command line.
bool may_stand_alone(OptionCode c) { return kind(c).lone == LoneUse::Always; }

// "/groupN" at args[at]: N becomes the group number and the argument the bare switch.
void apply_group_prefix(RunState& state, std::size_t at) {
    std::string& arg = state.args[at];
    if (arg.size() < 6 || strncasecmp(arg.data(), "/group", 6) != 0) return;
    int number = 0, digits = 0;
    for (std::size_t i = 6; i < arg.size() && arg[i] >= '0' && arg[i] <= '9'; ++i) {
        if (digits < kMaxGroupDigits) number = number * 10 + (arg[i] - '0');
        ++digits;
    }
    state.group_number = digits > kMaxGroupDigits ? 9999 : number;
    arg = "/group";
}

std::int32_t decimal(const std::string& text) { return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10)); }

}  // namespace

bool equals_nocase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

bool is_command_word(std::string_view word) {
    return equals_nocase(word, "/err") || equals_nocase(word, "/best") || equals_nocase(word, "noreserve");
}

Form choose_form(RunState& state, const char* last_variable) {
    const std::size_t n = state.args.size() - 1;  // arguments after the program name
    if (n < 1) return Form::Usage;
    apply_group_prefix(state, 1);
    OptionCode c = lookup_option(state.args[1]);
    if (kind(c).reads_noreserve) {
        for (std::size_t i = 1; i <= n; ++i)
            if (equals_nocase(state.args[i], "noreserve")) state.no_reserve = true;
    }
    // The screen position: exactly two words after the file and nothing
    // else, "/err" neither (that is read as a group that ends the run).
    if (kind(c).picture == Picture::OsbWithPosition && n == 4) {
        state.osb_x = decimal(state.args[3]);
        state.osb_y = decimal(state.args[4]);
        state.osb_position_given = true;
    }
    if (n < 2 && kind(c).lone == LoneUse::Never) c = 0;
    if (c != 0) {
        if (!last_variable) return Form::NoLastVariable;
        state.input_file = std::string(last_variable) + ".bin";
        state.option_index = 1;
    } else if (n >= 2) {
        state.input_file = state.args[1];
        state.option_index = 2;
        // "/err" and "noreserve" before the first switch are passed over
        // there too, as the option loop passes them over.
        while (state.option_index < n && is_command_word(state.args[state.option_index])) ++state.option_index;
        apply_group_prefix(state, state.option_index);
        c = lookup_option(state.args[state.option_index]);
        if (n < 3 && !may_stand_alone(c)) c = 0;
    }
    // /D, /verify and /json as the first option must be the last argument,
    // but for "/err", which a build script adds to every call.
    const Operation operation = kind(c).operation;
    if (operation == Operation::List || operation == Operation::Verify || operation == Operation::Report)
        for (std::size_t i = state.option_index + 1; i < state.args.size(); ++i)
            if (!equals_nocase(state.args[i], "/err")) c = 0;
    return c == 0 ? Form::Usage : (state.option_index == 1 ? Form::Last : Form::Explicit);
}

