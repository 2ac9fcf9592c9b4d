// The catalogue step at the start of each option group: the group's code
// selects its kind and sets the current TypeId text and value; the /isa
// segment operand that may follow a RomFile.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "driver/command_line.hpp"
#include "driver/run_state.hpp"

// Selects the kind of the group `g`'s switch. Sets state.group.code (/ncr
// and /aha become /pci), state.group.type_value and the current TypeId text
// (from /other's operand for that kind).
// Returns false when the run ends here, with the group marked failed: a
// word that is no switch ("Unknown option %s: the run ends here" on the
// console channel, a failure of the run) or a bad operand (empty, longer
// than 9 characters, the length of "SSSS:OOOO", or with a character that is no hexadecimal digit
// before its colon), which has printed its message.
bool select_kind(const Command& command, const CommandGroup& g, RunState& state);

// The /isa segment operand that follows a RomFile: hexadecimal digits up to
// a colon, a slash or the end. A character that is no hexadecimal digit
// stops the reading, prints "Input parameter %s error." and fails the kind
// (under /err); the digits before it count and the group goes on.
std::uint32_t isa_segment_operand(RunState& state, std::string_view operand);

// Reads hexadecimal digits of `text` up to its first colon. Returns nothing
// when another character stands before the colon.
std::optional<std::uint32_t> hex_before_colon(std::string_view text);
