// The run: banner, the two forms of the command line, the option loop and
// the end of run with its exit status.
#include "driver/run.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "archive/member_header.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "common/platform.hpp"
#include "common/private_folder.hpp"
#include "common/version.hpp"
#include "driver/command_line.hpp"
#include "driver/operations.hpp"
#include "driver/select_kind.hpp"
#include "driver/usage.hpp"
#include "image/bios_image.hpp"
#include "image/fixups.hpp"
#include "image/image_file.hpp"
#include "image/image_writer.hpp"
#include "folder/pack.hpp"
#include "report/dry_run.hpp"

namespace {

constexpr std::size_t kMaxRomFileName = 63;

// A group that would change an image that is read-only or no BIOS image
// ends the run before it does anything.
bool refused_change(RunState& state, const BiosImage& image) {
    if (image.read_only) {
        console::conf("%s is read-only: nothing changed\n", image.path.c_str());
    } else if (const std::optional<std::string> why = not_a_bios_image(image)) {
        console::conf("%s is no BIOS image: %s; nothing changed\n", image.path.c_str(), why->c_str());
    } else {
        return false;
    }
    state.fail(state.group.code);
    return true;
}

bool starts_nocase(std::string_view word, std::string_view key) {
    return word.size() >= key.size() && equals_nocase(word.substr(0, key.size()), key);
}

// The words "slot=X" and "to=FILE" after "release" or "extract" at `at`:
// they answer the prompts, so that nothing is read from standard input.
void read_answer_words(RunState& state, std::size_t at) {
    for (; at < state.args.size(); ++at, ++state.group_words) {
        const std::string& word = state.args[at];
        if (starts_nocase(word, "slot="))
            state.group.slot_word = word.substr(5);
        else if (starts_nocase(word, "to="))
            state.group.target_word = word.substr(3);
        else
            break;
    }
}

// The /isa address operand after the RomFile, and the OSB screen position
// of the `_last` form, belong to the group.
void read_operands(RunState& state) {
    GroupRequest& group = state.group;
    if (!group.row().type_id_without_operand.empty()) {
        // An operand that is no switch belongs to the group, whatever its value.
        const std::size_t at = state.option_index + 2;
        const bool operand =
            at < state.args.size() && !state.args[at].starts_with('/') && !starts_nocase(state.args[at], "name=");
        group.isa_segment = operand ? isa_segment_operand(state, state.args[at]) : 0;
        state.group_words = operand ? 1 : 0;
        group.type_id = group.isa_segment != 0 ? std::string(group.row().type_id)
                                               : std::string(group.row().type_id_without_operand);
        group.type_value = parse_type_id(group.type_id).segment;
    }
    if (state.osb_position_given && state.option_index == 1) state.group_words = 2;
}

// Where "name=NAME" stands: right after the RomFile, or after /isa's
// address operand.
std::optional<std::size_t> name_word_at(const RunState& state) {
    std::size_t at = state.option_index + 2;
    const bool operand = !state.group.row().type_id_without_operand.empty() && at < state.args.size() &&
                         !state.args[at].starts_with('/') && !starts_nocase(state.args[at], "name=");
    if (operand) ++at;
    if (at < state.args.size() && starts_nocase(state.args[at], "name=")) return at;
    return std::nullopt;
}

FixupRequest fixup_request(const RunState& state) {
    return {state.ncpu_requested, state.group_failed, state.err_mode};
}

// An add that has nothing to add: a switch left alone (a build script's
// unset variable) on a kind without a default file, or an empty file (an
// empty member; /NC_CPUCODE takes any file that is no executable as an
// empty block, an empty file too).
std::optional<Outcome> nothing_to_add(RunState& state, Action action) {
    const GroupRequest& group = state.group;
    if (group.rom_file.empty() && !group.row().default_file) {
        console::conf("%s: no file given; the image is unchanged.\n", state.args[state.option_index].c_str());
        state.fail(group.code);
        return Outcome::NextGroup;
    }
    if (!group.rom_file.empty() && group.rom_bytes.empty() && action != Action::AddTopBlock) {
        console::conf("%s is empty; nothing is added.\n", group.rom_file.c_str());
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    return std::nullopt;
}

// Runs the group's action: the checks its row asks for, the operation, and
// the books of what it did.
Outcome dispatch(RunState& state, ImageWriter& writer, Action action) {
    const OperationRow& row = operation(action);
    const BiosImage& image = writer.image();
    if (row.changes_image && refused_change(state, image)) return Outcome::EndOfRun;
    if (row.changes_image && action != Action::Release)
        if (const std::optional<Outcome> end = nothing_to_add(state, action)) return *end;
    if (const std::optional<std::string> why = not_a_bios_image(image); row.needs_bios && why) {
        console::conf("%s is no BIOS image: %s\n", image.path.c_str(), why->c_str());
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

// One group with a RomFile argument.
Outcome run_rom_group(RunState& state, ImageWriter& writer) {
    GroupRequest& group = state.group;
    const std::string& name = state.args[state.option_index + 1];
    // The limit is the stored name's: NAME of "name=NAME", else the RomFile as typed.
    const std::optional<std::size_t> name_at = name_word_at(state);
    const std::string stored = name_at ? state.args[*name_at].substr(5) : name;
    if (stored.size() > kMaxRomFileName || (name_at && stored.empty())) {
        if (stored.empty())
            console::conf("%s: name= needs a name; nothing is added.\n\n", name.c_str());
        else
            console::conf("File name %s is longer than %zu characters\n\n", stored.c_str(), kMaxRomFileName);
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    group.rom_file = name;
    if (name_at) group.stored_name = stored;
    // No component is larger than member::kMaxMemberSize: a larger file is refused
    // before it is read (64 MB of zeros would pack into a few KB).
    std::error_code ec;
    if (std::filesystem::is_regular_file(name, ec) && std::filesystem::file_size(name, ec) > member::kMaxMemberSize) {
        console::conf("%s is larger than %zu MB, more than a component may hold; nothing is added.\n\n",
                      name.c_str(), member::kMaxMemberSize >> 20);
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    // Read whole: anything that is no regular file (a folder, a device) is refused here.
    std::optional<std::vector<std::uint8_t>> rom = read_input_file(name, member::kMaxMemberSize);
    if (!rom) {
        console::conf("Can't open %s file\n\n", name.c_str());
        state.fail(group.code);
        return Outcome::EndOfRun;
    }
    group.rom_bytes = std::move(*rom);
    read_operands(state);
    if (name_at) ++state.group_words;
    return dispatch(state, writer, action_of(group.row(), GroupForm::RomFile));
}

Outcome run_group(RunState& state, ImageWriter& writer) {
    const std::size_t next = state.option_index + 1;
    const bool has_next = next < state.args.size();
    const Operation operation = state.group.row().operation;
    // The listing takes no file: a word after /D (possible when /D is not the
    // first option) is left to start the next group, where a word that is no
    // switch ends the run. Handed on as a RomFile it would be added under
    // the previous group's TypeId.
    if (!has_next || lookup_option(state.args[next]) != 0 || is_command_word(state.args[next]) ||
        operation == Operation::List || operation == Operation::Verify || operation == Operation::Report) {
        state.lone_code = state.group.code;
    }
    if (state.lone_code == 0 &&
        (equals_nocase(state.args[next], "release") || equals_nocase(state.args[next], "extract"))) {
        read_answer_words(state, state.option_index + 2);
        const GroupForm form = equals_nocase(state.args[next], "extract") ? GroupForm::Extract : GroupForm::Release;
        return dispatch(state, writer, action_of(state.group.row(), form));
    }
    if (state.lone_code == 0) return run_rom_group(state, writer);
    return dispatch(state, writer, action_of(state.group.row(), GroupForm::Lone));
}

// Under /err a run that fails (a kind, the run itself, /verify, a write)
// ends with status 1 and leaves the image as it was: no group's change is
// kept half-finished. Otherwise the fix-ups follow every run that changed
// the image, so that its pointers and sums hold again, and the changed
// bytes are written; a run that changed nothing leaves the image
// byte-identical. A dry run (`initial`: the image as it was opened) writes
// nothing and reports what the run would have written.
int end_of_run(RunState& state, BiosImage& image, const ImageFile& file, const BiosImage* initial,
               const std::string& folder) {
    ImageWriter writer(image);
    const bool trouble = state.verify_problems != 0 || state.write_failed;
    const bool failed = state.err_mode && (trouble || state.run_failed || !state.failed_kinds.empty());
    if (failed) {
        if (!state.failed_kinds.empty()) console::out("\n");
        for (OptionCode c : state.failed_kinds)
            console::conf("!!! Combine %s have some error.\n", std::string(failure_name(c)).c_str());
    } else if (state.image_changed) {
        close_image_bookkeeping(writer, fixup_request(state));
    }
    int status = failed || trouble ? 1 : 0;
    if (!initial) {
        // A run under the readers' lock changes nothing (only_reads) and kept
        // no copy to save against; one that changed the image all the same
        // goes to the save, which refuses it without the writer's lock.
        if (!failed && (file.exclusive || state.image_changed)) save_image(image, file);
        return status;
    }
    // A dry run fails where the save would, with the image as it was: the
    // journal that guards the save could not be made.
    const bool unsaved = failed || (image.bytes != initial->bytes && !can_save(image.path));
    if (!failed && unsaved) {
        console::conf("Can't write %s: %s would not be changed\n", journal_path(image.path).c_str(), image.path.c_str());
        status = 1;
    }
    report_dry_run({state.input_file, state.json, *initial, unsaved ? *initial : image, status, folder});
    return status;
}

// Clears what belongs to one group and copies in the run's settings.
void start_group(RunState& state) {
    GroupRequest& group = state.group;
    group.rom_file.clear();
    group.stored_name.clear();
    group.rom_bytes.clear();
    group.isa_segment = 0;
    group.slot_word.reset();
    group.target_word.reset();
    group.group_number = state.group_number;
    group.work_folder = state.work_folder;
    group.json = state.json;
    group.best = state.best;
    group.no_reserve = state.no_reserve;
    if (state.osb_position_given) group.osb_position = OsbPosition{state.osb_x, state.osb_y};
    state.lone_code = 0;
    state.group_failed = false;
    state.group_words = 0;
}

// The option loop: each group from state.option_index on, until one ends
// the run or the arguments are used up.
void run_groups(RunState& state, ImageWriter& writer) {
    for (;;) {
        // "/err" and "noreserve" are words of the whole command line: passed over.
        while (state.option_index < state.args.size() && is_command_word(state.args[state.option_index]))
            ++state.option_index;
        if (state.option_index >= state.args.size()) break;
        start_group(state);
        if (!select_kind(state, lookup_option(state.args[state.option_index]))) break;
        if (run_group(state, writer) == Outcome::EndOfRun) break;
        state.option_index += (state.lone_code != 0 ? 1 : 2) + state.group_words;
        if (state.option_index >= state.args.size()) break;
    }
}

// The images-as-folders words: "IMAGE /unpack DIR", "NEW /pack DIR" and
// "IMAGE /diff OTHER", each standing alone (but for /err, /json and /best).
enum class FolderCommand { None, Unpack, Pack, Diff };

FolderCommand folder_command(const RunState& state) {
    const std::vector<std::string>& a = state.args;
    if (a.size() < 4) return FolderCommand::None;
    for (std::size_t i = 4; i < a.size(); ++i)
        if (!equals_nocase(a[i], "/err") && !equals_nocase(a[i], "/json") && !equals_nocase(a[i], "/best"))
            return FolderCommand::None;
    if (equals_nocase(a[2], "/unpack")) return FolderCommand::Unpack;
    if (equals_nocase(a[2], "/pack")) return FolderCommand::Pack;
    if (equals_nocase(a[2], "/diff")) return FolderCommand::Diff;
    return FolderCommand::None;
}

// /unpack and /diff: one operation on the opened image, and its status
// (/diff: 2 when the other image cannot be read).
int run_folder_operation(RunState& state, ImageWriter& writer, FolderCommand command) {
    if (state.dry && command == FolderCommand::Unpack) {
        console::conf("/dry goes with /pack; /unpack changes no image. Nothing was run.\n");
        return 1;
    }
    start_group(state);
    state.group.rom_file = state.args[3];
    const Action action = command == FolderCommand::Unpack ? Action::Unpack : Action::Diff;
    const GroupResult r = operation(action).run(Operand{state.group, writer, state.rom_slots});
    if (r.unreadable) return 2;
    return r.problems != 0 || r.write_failed || (r.damaged != 0 && state.err_mode) ? 1 : 0;
}

// Whether the run can only read its image, so that other readers may run
// beside it: a dry run, or switches that are all the listing, /verify,
// /json, /CALS or followed by "extract". Any doubt (a word after a slash
// that is none of these, "release") counts as a change: the exclusive lock
// is always safe.
bool only_reads(const RunState& state) {
    if (state.dry || folder_command(state) != FolderCommand::None) return true;
    for (std::size_t i = state.option_index; i < state.args.size(); ++i) {
        const std::string& word = state.args[i];
        if (equals_nocase(word, "release")) return false;
        if (!word.starts_with('/') || is_command_word(word)) continue;
        const Operation operation = kind(lookup_option(word)).operation;
        const bool reads = operation == Operation::List || operation == Operation::Verify ||
                           operation == Operation::Report || operation == Operation::SizeReport;
        const bool extract = i + 1 < state.args.size() && equals_nocase(state.args[i + 1], "extract");
        if (lookup_option(word) == 0 || !(reads || extract)) return false;
    }
    return true;
}

// The words of the whole command line: /err, /best, /dry and /json ("/dry", and
// with it "/json", may stand anywhere: they say how the run goes and what
// it reports, and are no groups).
void read_run_words(RunState& state) {
    for (std::size_t i = 1; i < state.args.size(); ++i) {
        state.err_mode = state.err_mode || equals_nocase(state.args[i], "/err");
        state.dry = state.dry || equals_nocase(state.args[i], "/dry");
        state.json = state.json || equals_nocase(state.args[i], "/json");
        state.best = state.best || equals_nocase(state.args[i], "/best");
    }
    if (state.dry)
        state.args.erase(std::remove_if(state.args.begin() + 1, state.args.end(),
                                        [](const std::string& word) {
                                            return equals_nocase(word, "/dry") || equals_nocase(word, "/json");
                                        }),
                         state.args.end());
}

// The command line up to the image: the banner, --version and --help, the
// form of the command line. The exit status when the run ends here.
std::optional<int> start_run(RunState& state) {
    read_run_words(state);
    // With /json standard output carries the document alone: no banner, and
    // everything else the run prints goes to the console channel.
    if (state.json)
        console::divert_output();
    else
        console::outf("MOZAIK32 V%s [08/17/05 Release]\n", kVersion);
    // Alone on the command line: the version (the banner) or the usage screen, at once.
    if (state.args.size() == 2 && state.args[1] == "--version") return 0;
    if (state.args.size() == 2 && state.args[1] == "--help") {
        print_usage(state.args[0], false);
        print_command_words();
        return 0;
    }
    if (folder_command(state) != FolderCommand::None) {
        state.input_file = state.args[1];
        state.option_index = 2;
        return std::nullopt;
    }
    // A command line that fits neither form, or names no image, is a failed
    // run under /err, and with /json, which then gives no document.
    const int no_run = state.err_mode || state.json ? 1 : 0;
    const std::optional<std::string> last = platform::environment("_last");
    switch (choose_form(state, last ? last->c_str() : nullptr)) {
    case Form::Usage: print_usage(state.args[0], true); return no_run;
    case Form::NoLastVariable: console::out("Not settype so unknow BIOS file name..."); return no_run;
    case Form::Explicit:
    case Form::Last: break;
    }
    // The report describes the image as the run found it: /json stands alone.
    if (state.json && !state.dry && kind(lookup_option(state.args[state.option_index])).operation != Operation::Report) {
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
std::optional<BiosImage> open_locked(const RunState& state, ImageFile& file, bool& refused) {
    const platform::Lock lock = only_reads(state) ? platform::Lock::Shared : platform::Lock::Exclusive;
    const LockOutcome got = lock_image(state.input_file, lock, kLockWait, file);
    if (got == LockOutcome::InUse) {
        console::conf("%s is in use by another run; nothing changed\n", state.input_file.c_str());
        return std::nullopt;
    }
    refused = got == LockOutcome::NoLock || got == LockOutcome::Refused;
    if (refused) return std::nullopt;
    // Under the readers' lock the run saves nothing: no copy of the image as read is kept.
    OpenedImage opened = got == LockOutcome::Locked ? read_image(file, file.exclusive) : OpenedImage{};
    if (!opened.image) {
        if (opened.failure == OpenFailure::TooLarge)
            console::conf("%s is larger than %u MB: no BIOS image\n", state.input_file.c_str(), kMaxImageSize >> 20);
        else
            console::outf("%s file not found", state.input_file.c_str());
    }
    return std::move(opened.image);
}

}  // namespace

int run(int argc, char** argv) {
    RunState state;
    state.args.assign(argv, argv + argc);
    if (state.args.empty()) state.args.emplace_back("mozaik32");
    if (const std::optional<int> status = start_run(state)) return *status;
    const FolderCommand folder_word = folder_command(state);
    if (folder_word == FolderCommand::Pack)
        return pack_folder({state.input_file, state.args[3], state.err_mode, state.dry, state.json, state.best});
    ImageFile file;
    bool refused = false;
    std::optional<BiosImage> image = open_locked(state, file, refused);
    if (refused) return 1;
    if (!image && folder_word != FolderCommand::None) return folder_word == FolderCommand::Diff ? 2 : 1;
    // The tool's own checks fail on an image they cannot read (a CI gate
    // with a mistyped path must not pass); the other groups keep status 0
    // without /err.
    if (!image) {
        const Operation first = kind(lookup_option(state.args[state.option_index])).operation;
        return state.err_mode || state.json || first == Operation::Verify ? 1 : 0;
    }
    if (folder_word != FolderCommand::None) {
        ImageWriter writer(*image);
        return run_folder_operation(state, writer, folder_word);
    }
    PrivateFolder folder;
    std::optional<BiosImage> initial;
    if (state.dry) {
        if (!make_private_folder(folder)) {
            console::conf("Can't make a private folder for the dry run; nothing was run.\n");
            return 1;
        }
        state.work_folder = folder.path;
        initial = image;
    }
    ImageWriter writer(*image);
    run_groups(state, writer);
    return end_of_run(state, *image, file, initial ? &*initial : nullptr, folder.path);
}
