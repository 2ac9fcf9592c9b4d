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

// A group that would change a read-only image ends the run before it does anything.
bool refused_read_only(RunState& state, const BiosImage& image) {
    if (!image.read_only) return false;
    console::conf("%s is read-only: nothing changed\n", image.path.c_str());
    state.fail(state.code);
    return true;
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
        std::size_t at = state.option_index + 2;
        state.isa_segment = at < state.args.size() ? isa_segment_operand(state, state.args[at]) : 0;
        state.type_id = state.isa_segment != 0 ? "40A0:0" : "40A4:0";
        state.type_value = state.isa_segment != 0 ? 0x40A0 : 0x40A4;
    }
    if (c == code::cals) return run_cals(state);
    if (refused_read_only(state, image)) return Outcome::EndOfRun;
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
        if (!extract && refused_read_only(state, image)) return Outcome::EndOfRun;
        return release_or_extract(state, image, extract);
    }
    if (state.lone_code == 0) return run_rom_group(state, image);
    switch (state.code) {
    case code::d: return list_components(state, image);
    case code::verify:
        // Checked as it will be left: the fix-ups of the run's changes first
        // (they come out the same when they run again at the end).
        if (state.image_changed) close_image_bookkeeping(state, image);
        return verify_image(state, image);
    default: return refused_read_only(state, image) ? Outcome::EndOfRun : add_group(state, image, false);
    }
}

// The fix-ups follow every run that changed the image, so that its pointers
// and sums hold again; a run that changed nothing (every add refused, or a
// listing only) leaves the image byte-identical.
int end_of_run(RunState& state, BiosImage& image) {
    if (state.err_mode && !state.failed_kinds.empty()) {
        save_image(image);
        console::out("\n");
        for (OptionCode c : state.failed_kinds)
            console::conf("!!! Combine %s have some error.\n", std::string(short_name(c)).c_str());
        return 1;
    }
    if (state.image_changed) close_image_bookkeeping(state, image);
    save_image(image);
    if (state.verify_problems != 0 || state.write_failed) return 1;
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    RunState state;
    state.args.assign(argv, argv + argc);
    if (state.args.empty()) state.args.emplace_back("mozaik32");

    console::out("MOZAIK32 V1.52 [08/17/05 Release]\n");
    for (std::size_t i = 1; i < state.args.size(); ++i)
        if (equals_nocase(state.args[i], "/err")) state.err_mode = true;

    switch (choose_form(state, std::getenv("_last"))) {
    case Form::Usage:
        print_usage(state.args[0]);
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
        return 0;
    }
    BiosImage& image = *opened.image;

    for (;;) {
        state.isa_segment = 0;
        state.lone_code = 0;
        state.group_failed = false;
        OptionCode c = lookup_option(state.args[state.option_index]);
        state.rom_file.clear();
        state.rom_bytes.clear();
        if (!select_kind(state, c, image.banked)) break;
        if (run_group(state, image) == Outcome::EndOfRun) break;
        state.option_index += state.lone_code != 0 ? 1 : 2;
        if (state.code == code::isa && state.isa_segment != 0) state.option_index += 1;
        if (state.option_index >= state.args.size()) break;
    }
    return end_of_run(state, image);
}
