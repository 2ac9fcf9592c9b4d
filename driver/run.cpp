// The run: banner, the two forms of the command line, the option loop and
// the end of run with its exit status.
#include "driver/run.hpp"

#include <cstdlib>
#include <optional>

#include "common/console.hpp"
#include "common/file.hpp"
#include "driver/cals.hpp"
#include "driver/command_line.hpp"
#include "driver/fixups.hpp"
#include "driver/operations.hpp"
#include "driver/select_kind.hpp"
#include "driver/usage.hpp"
#include "driver/verify.hpp"
#include "image/bios_image.hpp"

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
    state.fail(state.code);
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
            state.slot_word = word.substr(5);
        else if (starts_nocase(word, "to="))
            state.target_word = word.substr(3);
        else
            break;
    }
}

// The kinds with a placement of their own; every other kind is an add.
// `rom`: the group has a RomFile (state.rom_file, state.rom_bytes).
Outcome add_group(RunState& state, BiosImage& image, bool rom) {
    const bool own_slot = state.code == code::btvga || state.code == code::nvmm;
    if (own_slot && !rom) {
        console::conf("%s: no file given; the image is unchanged.\n", state.args[state.option_index].c_str());
        state.fail(state.code);
        return Outcome::NextGroup;
    }
    switch (state.code) {
    case code::btvga: return add_boot_block_vga(state, image);
    case code::nvmm: return add_memory_module(state, image);
    case code::nc_cpucode: return rom ? add_top_microcode(state, image) : add_component(state, image, rom);
    default: return add_component(state, image, rom);
    }
}

// One group with a RomFile argument.
Outcome run_rom_group(RunState& state, BiosImage& image) {
    const std::string& name = state.args[state.option_index + 1];
    const OptionCode c = state.code;
    if (name.size() > kMaxRomFileName) {
        console::conf("File name %s is longer than %zu characters\n\n", name.c_str(), kMaxRomFileName);
        state.fail(c);
        return Outcome::EndOfRun;
    }
    state.rom_file = name;
    // Read whole: anything that is no regular file (a folder, a device) is refused here.
    std::optional<std::vector<std::uint8_t>> rom = read_input_file(name);
    if (!rom) {
        console::conf("Can't open %s file\n\n", name.c_str());
        state.fail(c);
        return Outcome::EndOfRun;
    }
    state.rom_bytes = std::move(*rom);
    if (c == code::isa) {
        // An operand that is no switch belongs to the group, whatever its value.
        const std::size_t at = state.option_index + 2;
        const bool operand = at < state.args.size() && !state.args[at].starts_with('/');
        state.isa_segment = operand ? isa_segment_operand(state, state.args[at]) : 0;
        state.group_words = operand ? 1 : 0;
        state.type_id = state.isa_segment != 0 ? "40A0:0" : "40A4:0";
        state.type_value = state.isa_segment != 0 ? 0x40A0 : 0x40A4;
    }
    // The screen position of an OSB CPU bitmap in the `_last` form follows its file.
    if (state.osb_position_given && state.option_index == 1) state.group_words = 2;
    if (c == code::cals) return run_cals(state);
    if (refused_change(state, image)) return Outcome::EndOfRun;
    return add_group(state, image, true);
}

Outcome run_group(RunState& state, BiosImage& image) {
    const std::size_t next = state.option_index + 1;
    const bool has_next = next < state.args.size();
    // The listing takes no file: a word after /D (possible when /D is not the
    // first option) is left to start the next group, where a word that is no
    // switch ends the run. Handed on as a RomFile it would be added under
    // the previous group's TypeId.
    if (!has_next || lookup_option(state.args[next]) != 0 || state.code == code::d || state.code == code::verify) {
        state.lone_code = state.code;
    }
    if (state.lone_code == 0 &&
        (equals_nocase(state.args[next], "release") || equals_nocase(state.args[next], "extract"))) {
        const bool extract = equals_nocase(state.args[next], "extract");
        read_answer_words(state, next + 1);
        if (!extract && refused_change(state, image)) return Outcome::EndOfRun;
        return release_or_extract(state, image, extract);
    }
    if (state.lone_code == 0) return run_rom_group(state, image);
    switch (state.code) {
    case code::d:
        if (const std::optional<std::string> why = not_a_bios_image(image)) {
            console::conf("%s is no BIOS image: %s\n", image.path.c_str(), why->c_str());
            state.fail(code::d);
            return Outcome::NextGroup;
        }
        return list_components(state, image);
    case code::verify:
        // Checked as it will be left: the fix-ups of the run's changes first
        // (they come out the same when they run again at the end).
        if (state.image_changed) close_image_bookkeeping(state, image);
        return verify_image(state, image);
    default: return refused_change(state, image) ? Outcome::EndOfRun : add_group(state, image, false);
    }
}

// Under /err a run that fails (a kind, the run itself, /verify, a write)
// ends with status 1 and leaves the image as it was: no group's change is
// kept half-finished. Otherwise the fix-ups follow every run that changed
// the image, so that its pointers and sums hold again, and the changed
// bytes are written; a run that changed nothing leaves the image
// byte-identical.
int end_of_run(RunState& state, BiosImage& image) {
    const bool trouble = state.verify_problems != 0 || state.write_failed;
    if (state.err_mode && (trouble || state.run_failed || !state.failed_kinds.empty())) {
        if (!state.failed_kinds.empty()) console::out("\n");
        for (OptionCode c : state.failed_kinds)
            console::conf("!!! Combine %s have some error.\n", std::string(failure_name(c)).c_str());
        return 1;
    }
    if (state.image_changed) close_image_bookkeeping(state, image);
    save_image(image);
    return trouble ? 1 : 0;
}

}  // namespace

int run(int argc, char** argv) {
    RunState state;
    state.args.assign(argv, argv + argc);
    if (state.args.empty()) state.args.emplace_back("mozaik32");

    console::out("MOZAIK32 V1.52 [08/17/05 Release]\n");
    // Alone on the command line: the version (the banner) or the usage screen, at once.
    if (state.args.size() == 2 && state.args[1] == "--version") return 0;
    if (state.args.size() == 2 && state.args[1] == "--help") {
        print_usage(state.args[0], false);
        return 0;
    }
    for (std::size_t i = 1; i < state.args.size(); ++i)
        if (equals_nocase(state.args[i], "/err")) state.err_mode = true;

    switch (choose_form(state, std::getenv("_last"))) {
    case Form::Usage:
        print_usage(state.args[0], true);
        return 0;
    case Form::NoLastVariable:
        console::out("Not settype so unknow BIOS file name...");
        return 0;
    case Form::Explicit:
    case Form::Last:
        break;
    }

    OpenedImage opened = open_image(state.input_file);
    if (!opened.image) {
        if (opened.failure == OpenFailure::TooLarge)
            console::conf("%s is larger than %u MB: no BIOS image\n", state.input_file.c_str(), kMaxImageSize >> 20);
        else
            console::outf("%s file not found", state.input_file.c_str());
        return state.err_mode ? 1 : 0;
    }
    BiosImage& image = *opened.image;

    for (;;) {
        state.isa_segment = 0;
        state.lone_code = 0;
        state.group_failed = false;
        state.group_words = 0;
        state.slot_word.reset();
        state.target_word.reset();
        OptionCode c = lookup_option(state.args[state.option_index]);
        state.rom_file.clear();
        state.rom_bytes.clear();
        if (!select_kind(state, c)) break;
        if (run_group(state, image) == Outcome::EndOfRun) break;
        state.option_index += (state.lone_code != 0 ? 1 : 2) + state.group_words;
        if (state.option_index >= state.args.size()) break;
    }
    return end_of_run(state, image);
}
