// The run: the banner, the option loop over the parsed groups and the end
// of run with its exit status.
#include "driver/run.hpp"

#include <filesystem>
#include <optional>

#include "archive/member_header.hpp"
#include "common/command_words.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "common/private_folder.hpp"
#include "common/version.hpp"
#include "driver/command_line.hpp"
#include "driver/operations.hpp"
#include "driver/run_state.hpp"
#include "driver/select_kind.hpp"
#include "driver/usage.hpp"
#include "folder/pack.hpp"
#include "image/bios_image.hpp"
#include "image/fixups.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "report/dry_run.hpp"

namespace {

constexpr std::size_t kMaxRomFileName = 63;

// A group that would change an image that is read-only or no BIOS image
// ends the run before it does anything.
bool refused_change(RunState& state, const BiosImage& image) {
    if (image.read_only) {
        console::notef("%s is read-only: nothing changed", image.path.c_str());
    } else if (const std::optional<std::string> why = not_a_bios_image(image)) {
        console::notef("%s is no BIOS image: %s; nothing changed", image.path.c_str(), why->c_str());
    } else {
        return false;
    }
    state.fail(state.group.code);
    return true;
}

FixupRequest fixup_request(const RunState& state) {
    return {state.ncpu_requested, state.group_failed, state.err_mode};
}

// The /isa address operand after the RomFile sets the group's TypeId.
void apply_address(RunState& state, const CommandGroup& g) {
    GroupRequest& group = state.group;
    if (group.row().type_id_without_operand.empty()) return;
    group.isa_segment = g.address ? isa_segment_operand(state, *g.address) : 0;
    group.type_id =
        group.isa_segment != 0 ? std::string(group.row().type_id) : std::string(group.row().type_id_without_operand);
    group.type_value = parse_type_id(group.type_id).segment;
}

// The word a group's form is read after: its switch, or /other's operand.
const std::string& form_word(const Command& command, const CommandGroup& g) {
    return command.args[g.at + (g.type_operand ? 1 : 0)];
}

// An add that has nothing to add: a switch left alone (a build script's
// unset variable) on a kind without a default file, or an empty file (an
// empty member; /NC_CPUCODE takes any file that is no executable as an
// empty block, an empty file too).
std::optional<Outcome> nothing_to_add(RunState& state, const std::string& word, Action action) {
    const GroupRequest& group = state.group;
    if (group.rom_file.empty() && !group.row().default_file) {
        console::notef("%s: no file given; the image is unchanged.", word.c_str());
        state.fail(group.code);
        return Outcome::NextGroup;
    }
    if (!group.rom_file.empty() && group.rom_bytes.empty() && action != Action::AddTopBlock) {
        console::notef("%s is empty; nothing is added.", group.rom_file.c_str());
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    return std::nullopt;
}

// Runs the group's action: the checks its row asks for, the operation, and
// the books of what it did.
Outcome dispatch(RunState& state, const std::string& word, ImageWriter& writer, Action action) {
    const OperationRow& row = operation(action);
    const BiosImage& image = writer.image();
    if (row.changes_image && refused_change(state, image)) return Outcome::EndOfRun;
    if (row.changes_image && action != Action::Release)
        if (const std::optional<Outcome> end = nothing_to_add(state, word, action)) return *end;
    if (const std::optional<std::string> why = not_a_bios_image(image); row.needs_bios && why) {
        console::notef("%s is no BIOS image: %s", image.path.c_str(), why->c_str());
        state.fail(state.group.code);
        return Outcome::NextGroup;
    }
    // Checked as it will be left: the fix-ups of the run's changes first
    // (they come out the same when they run again at the end).
    if (row.fixups_first && state.image_changed) close_image_bookkeeping(writer, fixup_request(state));
    const GroupResult r = row.run(Operand{state.group, writer, state.rom_slots});
    state.account(r);
    return r.next;
}

// The RomFile's checks before it is read: its stored name's length, and
// its size. False when the run ends here (said).
bool rom_file_fits(RunState& state, const CommandGroup& g) {
    const std::string& name = g.rom_file;
    // The limit is the stored name's: NAME of "name=NAME", else the RomFile as typed.
    const std::string& stored = g.name ? *g.name : name;
    if (stored.size() > kMaxRomFileName || (g.name && stored.empty())) {
        if (stored.empty())
            console::conf("%s: name= needs a name; nothing is added.\n\n", name.c_str());
        else
            console::conf("File name %s is longer than %zu characters\n\n", stored.c_str(), kMaxRomFileName);
        state.fail(state.group.code);
        return false;
    }
    // No component is larger than member::kMaxMemberSize: a larger file is refused
    // before it is read (64 MB of zeros would pack into a few KB).
    std::error_code ec;
    if (std::filesystem::is_regular_file(name, ec) && std::filesystem::file_size(name, ec) > member::kMaxMemberSize) {
        console::conf("%s is larger than %zu MB, more than a component may hold; nothing is added.\n\n", name.c_str(),
                      member::kMaxMemberSize >> 20);
        state.fail(state.group.code);
        return false;
    }
    return true;
}

// One group with a RomFile argument.
Outcome run_rom_group(const Command& command, const CommandGroup& g, RunState& state, ImageWriter& writer) {
    GroupRequest& group = state.group;
    if (!rom_file_fits(state, g)) return Outcome::EndOfRun;
    if (g.slot && !group.row().family) {
        console::notef("%s has no slots: slot=%s names nothing; nothing is added.",
                       std::string(group.row().switch_text).c_str(), g.slot->c_str());
        state.fail(group.code);
        return Outcome::NextGroup;
    }
    group.rom_file = g.rom_file;
    if (g.name) group.stored_name = *g.name;
    // Read whole: anything that is no regular file (a folder, a device) is refused here.
    std::optional<std::vector<std::uint8_t>> rom = read_input_file(g.rom_file, member::kMaxMemberSize);
    if (!rom) {
        console::conf("Can't open %s file\n\n", g.rom_file.c_str());
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    group.rom_bytes = std::move(*rom);
    apply_address(state, g);
    return dispatch(state, form_word(command, g), writer, action_of(group.row(), GroupForm::RomFile));
}

Outcome run_group(const Command& command, const CommandGroup& g, RunState& state, ImageWriter& writer) {
    if (g.form == GroupForm::RomFile) return run_rom_group(command, g, state, writer);
    return dispatch(state, form_word(command, g), writer, action_of(state.group.row(), g.form));
}

// Why a run ends with status 1, one reason a line (for the dry run's JSON).
std::vector<std::string> failure_reasons(const RunState& state, bool failed, bool unsaved) {
    std::vector<std::string> reasons;
    char line[96];
    for (OptionCode c : state.failed_kinds) {
        std::snprintf(line, sizeof line, "the %s group failed", std::string(failure_name(c)).c_str());
        reasons.emplace_back(line);
    }
    if (state.run_failed) reasons.emplace_back("a word that is no switch ended the run");
    if (state.verify_problems != 0) {
        std::snprintf(line, sizeof line, "/verify found %d problems", state.verify_problems);
        reasons.emplace_back(line);
    }
    if (state.write_failed) reasons.emplace_back("a file could not be written");
    if (unsaved && !failed) reasons.emplace_back("the image could not be saved");
    return reasons;
}

// Under /err a run that fails (a kind, the run itself, /verify, a write)
// ends with status 1 and leaves the image as it was: no group's change is
// kept half-finished. Otherwise the fix-ups follow every run that changed
// the image, so that its pointers and sums hold again, and the changed
// bytes are written; a run that changed nothing leaves the image
// byte-identical. A dry run (`initial`: the image as it was opened) writes
// nothing and reports what the run would have written.
int end_of_run(const Command& command, RunState& state, BiosImage& image, const ImageFile& file,
               const BiosImage* initial, const std::string& folder) {
    ImageWriter writer(image);
    const bool trouble = state.verify_problems != 0 || state.write_failed;
    const bool failed = command.err_mode && (trouble || state.run_failed || !state.failed_kinds.empty());
    if (failed) {
        if (!state.failed_kinds.empty()) console::out("\n");
        for (OptionCode c : state.failed_kinds)
            console::conf("!!! Combine %s have some error.\n", std::string(failure_name(c)).c_str());
    } else if (state.image_changed) {
        close_image_bookkeeping(writer, fixup_request(state));
    }
    int status = failed || trouble ? 1 : 0;
    // out=NEW: the InputFile is only read; NEW takes the image whole.
    if (!initial && command.out_file) return !failed && !write_new_image(*command.out_file, image.bytes) ? 1 : status;
    if (!initial) {
        // A run under the readers' lock changes nothing (only_reads) and kept
        // no copy to save against; one that changed the image all the same
        // goes to the save, which refuses it without the writer's lock.
        if (!failed && (file.exclusive || state.image_changed)) save_image(image, file);
        return status;
    }
    // A dry run fails where the save would, with the image as it was: the
    // journal that guards the save could not be made.
    const bool unsaved = failed || (command.out_file ? !can_replace(*command.out_file)
                                                     : image.bytes != initial->bytes && !can_save(image.path));
    if (!failed && unsaved) {
        if (command.out_file)
            console::notef("Can't write %s; nothing would be written", command.out_file->c_str());
        else
            console::notef("Can't write %s: %s would not be changed", journal_path(image.path).c_str(),
                           image.path.c_str());
        status = 1;
    }
    report_dry_run({command.input_file, command.json, *initial, unsaved ? *initial : image, status, folder,
                    unsaved            ? nullptr
                    : command.out_file ? &*command.out_file
                                       : nullptr,
                    failure_reasons(state, failed, unsaved)});
    return status;
}

// Clears what belongs to one group and copies in the run's settings.
void start_group(const Command& command, const CommandGroup* g, RunState& state) {
    GroupRequest& group = state.group;
    group.rom_file.clear();
    group.stored_name.clear();
    group.rom_bytes.clear();
    group.isa_segment = 0;
    group.slot_word = g ? g->slot : std::nullopt;
    group.target_word = g ? g->to : std::nullopt;
    group.group_number = command.group_number;
    group.work_folder = state.work_folder;
    group.json = command.json;
    group.best = command.best;
    group.no_reserve = command.no_reserve;
    if (command.osb_position_given) group.osb_position = OsbPosition{command.osb_x, command.osb_y};
    state.group_failed = false;
}

// The option loop: each group in turn, until one ends the run.
void run_groups(const Command& command, RunState& state, ImageWriter& writer) {
    for (const CommandGroup& g : command.groups) {
        start_group(command, &g, state);
        if (!select_kind(command, g, state)) break;
        if (run_group(command, g, state, writer) == Outcome::EndOfRun) break;
    }
}

// /unpack and /diff: one operation on the opened image, and its status
// (/diff: 2 when the other image cannot be read).
int run_folder_operation(const Command& command, RunState& state, ImageWriter& writer) {
    if (command.dry && command.folder == FolderCommand::Unpack) {
        console::notef("/dry goes with /pack; /unpack changes no image. Nothing was run.");
        return 1;
    }
    start_group(command, nullptr, state);
    state.group.rom_file = command.args[3];
    const Action action = command.folder == FolderCommand::Unpack ? Action::Unpack : Action::Diff;
    const GroupResult r = operation(action).run(Operand{state.group, writer, state.rom_slots});
    if (r.unreadable) return 2;
    return r.problems != 0 || r.write_failed || (r.damaged != 0 && command.err_mode) ? 1 : 0;
}

// The command line up to the image: the banner, --version and --help, the
// form of the command line. The exit status when the run ends here.
std::optional<int> start_run(const Command& command) {
    const std::vector<std::string>& args = command.args;
    // With /json standard output carries the document alone: no banner, and
    // everything else the run prints goes to the console channel.
    if (command.json)
        console::divert_output();
    else
        console::outf("MOZAIK32 V%s [08/17/05 Release]\n", kVersion);
    // Alone on the command line: the version (the banner) or the usage screen, at once.
    if (args.size() == 2 && args[1] == word::version) return 0;
    if (args.size() == 2 && args[1] == word::help) {
        print_usage(args[0], false);
        print_command_words();
        return 0;
    }
    if (command.out_file && (command.out_file->empty() || command.folder != FolderCommand::None)) {
        console::conf(command.out_file->empty() ? "out= needs a file name; nothing was run.\n"
                                                : "out= goes with the option groups, not /unpack, /pack or /diff; "
                                                  "nothing was run.\n");
        return 1;
    }
    if (command.folder != FolderCommand::None) return std::nullopt;
    // A command line that fits neither form, or names no image, is a failed
    // run under /err, and with /json, which then gives no document.
    const int no_run = command.err_mode || command.json ? 1 : 0;
    switch (command.form) {
    case Form::Usage: print_usage(args[0], true); return no_run;
    case Form::NoLastVariable: console::out("Not settype so unknow BIOS file name..."); return no_run;
    case Form::Explicit:
    case Form::Last: break;
    }
    // The report describes the image as the run found it: /json stands alone.
    if (command.json && !command.dry &&
        kind(lookup_option(args[command.option_index])).operation != Operation::Report) {
        console::con("/json stands alone after the InputFile (or goes with /dry); nothing was run.\n");
        return 1;
    }
    return std::nullopt;
}

// Locks and reads the image. The lock is held from here to the end of the
// save; a journal left by a save that was stopped is dealt with before the
// image is read, through the handle that holds the lock. Nothing (said)
// when the run ends here; `refused` when that is a failure whatever the
// words (no lock, a journal that is not the image's own).
std::optional<BiosImage> open_locked(const Command& command, ImageFile& file, bool& refused) {
    const platform::Lock lock = only_reads(command) ? platform::Lock::Shared : platform::Lock::Exclusive;
    const LockOutcome got = lock_image(command.input_file, lock, kLockWait, file);
    if (got == LockOutcome::InUse) {
        console::notef("%s is in use by another run; nothing changed", command.input_file.c_str());
        return std::nullopt;
    }
    refused = got == LockOutcome::NoLock || got == LockOutcome::Refused;
    if (refused) return std::nullopt;
    // Under the readers' lock the run saves nothing: no copy of the image as read is kept.
    OpenedImage opened = got == LockOutcome::Locked ? read_image(file, file.exclusive) : OpenedImage{};
    if (!opened.image) {
        if (opened.failure == OpenFailure::TooLarge)
            console::notef("%s is larger than %u MB: no BIOS image", command.input_file.c_str(), kMaxImageSize >> 20);
        else
            console::outf("%s file not found", command.input_file.c_str());
    }
    return std::move(opened.image);
}

}  // namespace

int run(int argc, char** argv) {
    const std::optional<std::string> last = platform::environment("_last");
    const Command command = parse_command(std::vector<std::string>(argv, argv + argc), last ? last->c_str() : nullptr);
    if (const std::optional<int> status = start_run(command)) return *status;
    if (command.folder == FolderCommand::Pack)
        return pack_folder(
            {command.input_file, command.args[3], command.err_mode, command.dry, command.json, command.best});
    RunState state;
    state.err_mode = command.err_mode;
    ImageFile file;
    bool refused = false;
    std::optional<BiosImage> image = open_locked(command, file, refused);
    if (refused) return 1;
    if (!image && command.folder != FolderCommand::None) return command.folder == FolderCommand::Diff ? 2 : 1;
    // The tool's own checks fail on an image they cannot read (a CI gate
    // with a mistyped path must not pass); the other groups keep status 0
    // without /err.
    if (!image) {
        const Operation first = kind(lookup_option(command.args[command.option_index])).operation;
        return command.err_mode || command.json || first == Operation::Verify ? 1 : 0;
    }
    if (command.folder != FolderCommand::None) {
        ImageWriter writer(*image);
        return run_folder_operation(command, state, writer);
    }
    PrivateFolder folder;
    std::optional<BiosImage> initial;
    if (command.dry) {
        if (!make_private_folder(folder)) {
            console::notef("Can't make a private folder for the dry run; nothing was run.");
            return 1;
        }
        state.work_folder = folder.path;
        initial = image;
    }
    ImageWriter writer(*image);
    run_groups(command, state, writer);
    return end_of_run(command, state, *image, file, initial ? &*initial : nullptr, folder.path);
}
