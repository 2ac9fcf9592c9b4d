// The command line, parsed whole before the run: its form (InputFile, then
// option groups; or the `_last` form, option groups only, the InputFile
// being the value of the environment variable `_last` with ".bin"
// appended), the words of the whole line, and each group with the words
// that belong to it. The values of operands are checked when their group
// runs, so that what earlier groups did and said comes first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/catalogue.hpp"
#include "driver/operations.hpp"

enum class Form { Usage, Explicit, Last, NoLastVariable };

// The images-as-folders words: "IMAGE /unpack DIR", "NEW /pack DIR" and
// "IMAGE /diff OTHER", each standing alone (but for /err, /json and /best).
enum class FolderCommand { None, Unpack, Pack, Diff };

// One option group: its switch and the words after it that are its own.
struct CommandGroup {
    std::size_t at = 0;   // the switch, in Command::args
    OptionCode code = 0;  // 0: the word is no switch, and the run ends there
    GroupForm form = GroupForm::Lone;
    std::optional<std::string> type_operand;  // /other's TypeId; nothing when the line ends first
    std::string rom_file;                     // the RomFile form's file
    std::optional<std::string> address;       // /isa's address operand after the RomFile
    std::optional<std::string> name;          // "name=NAME" after the RomFile (or the address)
    std::optional<std::string> slot, to;      // "slot=X" after release, extract or the RomFile; "to=FILE"
};

struct Command {
    std::vector<std::string> args;  // args[0] the program path; "/dry" (and "/json" with it) taken out
    Form form = Form::Usage;
    FolderCommand folder = FolderCommand::None;
    std::string input_file;
    std::size_t option_index = 0;         // the first group's switch
    bool err_mode = false;                // "/err" somewhere
    bool dry = false;                     // "/dry": nothing is written, what would change is reported
    bool json = false;                    // "/json": standard output carries one JSON document only
    bool best = false;                    // "/best": members are packed by the near-optimal encoder
    std::optional<std::string> out_file;  // "out=NEW": the image goes to NEW, the InputFile is only read
    int group_number = 0;                 // digits after "/group" in the first switch
    bool no_reserve = false;              // "noreserve": no reserved colours for logos
    std::int32_t osb_x = 0, osb_y = 0;    // screen position of an OSB CPU bitmap
    bool osb_position_given = false;
    std::vector<CommandGroup> groups;  // in order, up to the one the run ends at
};

// The whole command line. `last_variable` is the value of `_last`, null
// when it is not set.
Command parse_command(std::vector<std::string> args, const char* last_variable);

// The form of `command.args`. Sets input_file and option_index, and from
// the whole line group_number (a "/groupN" first switch becomes the bare
// "/group"), no_reserve (logo kinds, `_last` form only) and the OSB screen
// position.
Form choose_form(Command& command, const char* last_variable);

// The groups from command.option_index on.
std::vector<CommandGroup> parse_groups(const Command& command);

// Whether the run can only read its image, so that other readers may run
// beside it: a dry run, a folder word, or groups none of whose operations
// changes an image, or a run that writes out=NEW. A word that is no switch
// counts as a change: the exclusive lock is always safe.
bool only_reads(const Command& command);

// Text comparison without regard to case.
bool equals_nocase(std::string_view a, std::string_view b);

// "/err", "/best" and "noreserve": words of the whole command line, not
// groups. A switch followed by one stands alone; the groups pass over them.
bool is_command_word(std::string_view word);
