// The run: banner, the two forms of the command line, the option loop and
// the end of run with its exit status.
#include "driver/run.hpp"

#include <cstdlib>
#include <optional>
#include <strings.h>

#include "archive/settings.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "driver/cals.hpp"
#include "driver/operations.hpp"
#include "driver/select_kind.hpp"
#include "driver/usage.hpp"
#include "image/bios_image.hpp"

namespace {

constexpr std::size_t kMaxRomFileName = 63;
constexpr int kMaxGroupDigits = 4;  // more digits than any group needs; keeps the number bounded

bool equals_nocase(const std::string& a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), b.size()) == 0;
}

bool is_one_of(OptionCode c, std::initializer_list<OptionCode> codes) {
    for (OptionCode x : codes)
        if (x == c) return true;
    return false;
}

// Switches that may stand alone as the only option of a command line.
bool may_stand_alone(OptionCode c) {
    return is_one_of(c, {code::ncr, code::aha, code::logo, code::d, code::cpucode, code::epa,
                         code::acpi, code::acpitbl, code::hpm, code::hpc});
}

bool is_logo_kind(OptionCode c) {
    return c == code::logo || c == code::logo1 || (c >= code::logo2 && c <= code::logo7) ||
           (c >= code::osb_bmp && c <= code::osb_bmp7) || (c >= code::osb_logo1 && c <= code::osb_logo7);
}

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

enum class Form { Usage, Explicit, Last, NoLastVariable };

// Chooses the form of the command line and sets input_file and option_index.
Form choose_form(RunState& state) {
    const std::size_t n = state.args.size() - 1;  // arguments after the program name
    if (n < 1) return Form::Usage;
    apply_group_prefix(state, 1);
    OptionCode c = lookup_option(state.args[1]);
    if (is_logo_kind(c)) {
        for (std::size_t i = 1; i <= n; ++i)
            if (equals_nocase(state.args[i], "noreserve")) state.no_reserve = true;
    }
    if (c >= code::osb_bmp && c <= code::osb_bmp7 && n == 4) {
        state.osb_x = decimal(state.args[3]);
        state.osb_y = decimal(state.args[4]);
        state.osb_position_given = true;
    }
    if (n < 2 && !may_stand_alone(c) && c != code::btvga) c = 0;
    if (c != 0) {
        const char* last = std::getenv("_last");
        if (!last) return Form::NoLastVariable;
        state.input_file = std::string(last) + ".bin";
        state.option_index = 1;
    } else if (n >= 2) {
        state.input_file = state.args[1];
        state.option_index = 2;
        apply_group_prefix(state, 2);
        c = lookup_option(state.args[2]);
        if (n < 3 && !may_stand_alone(c)) c = 0;
    }
    if (c == code::d && state.option_index + 1 < state.args.size()) c = 0;
    return c == 0 ? Form::Usage : (state.option_index == 1 ? Form::Last : Form::Explicit);
}

// Reads the /isa segment operand: hexadecimal digits up to a colon, a slash or the end.
std::uint32_t isa_operand(const std::string& operand) {
    std::uint32_t value = 0;
    for (char ch : operand) {
        if (ch == ':' || ch == '/') break;
        int d = hex_digit(ch);
        if (d < 0) {
            console::outf("Input parameter %s error.", operand.c_str());
            break;
        }
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
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
    File rom(name, "rb");
    if (!rom.is_open()) {
        console::conf("Can't open %s file\n\n", name.c_str());
        state.fail(c);
        return Outcome::EndOfRun;
    }
    if (c == code::isa) {
        std::size_t at = state.option_index + 2;
        state.isa_segment = at < state.args.size() ? isa_operand(state.args[at]) : 0;
        archive_settings().type_id = state.isa_segment != 0 ? "40A0:0" : "40A4:0";
        state.type_value = state.isa_segment != 0 ? 0x40A0 : 0x40A4;
    }
    if (c == code::cals) {
        rom.close();
        return run_cals(state);
    }
    state.component_used = true;
    return add_component(state, image, &rom);
}

Outcome run_group(RunState& state, BiosImage& image) {
    const std::size_t next = state.option_index + 1;
    const bool has_next = next < state.args.size();
    if (!has_next || lookup_option(state.args[next]) != 0) {
        state.lone_code = state.code;
    }
    if (has_next && (equals_nocase(state.args[next], "release") || equals_nocase(state.args[next], "extract")))
        return release_or_extract(state, image, equals_nocase(state.args[next], "extract"));
    if (state.lone_code == 0) return run_rom_group(state, image);
    switch (state.code) {
    case code::d: return list_components(state, image);
    case code::btvga: return add_boot_block_vga(state, image);
    case code::nvmm: return add_memory_module(state, image);
    default: return add_component(state, image, nullptr);
    }
}

int end_of_run(RunState& state, std::optional<BiosImage>& image, OptionCode last_code) {
    image.reset();
    if (state.err_mode && !state.failed_kinds.empty()) {
        console::out("\n");
        for (OptionCode c : state.failed_kinds)
            console::conf("!!! Combine %s have some error.\n", std::string(short_name(c)).c_str());
        return 1;
    }
    if (state.component_used && last_code != code::d) close_image_bookkeeping(state, state.input_file);
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    RunState state;
    state.args.assign(argv, argv + argc);
    if (state.args.empty()) state.args.emplace_back("mozaik32");
    archive_settings() = ArchiveSettings{};

    console::out("MOZAIK32 V1.52 [08/17/05 Release]\n");
    for (std::size_t i = 1; i < state.args.size(); ++i)
        if (equals_nocase(state.args[i], "/err")) state.err_mode = true;

    switch (choose_form(state)) {
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

    const std::size_t first = state.option_index;
    const bool scan_bs1 = lookup_option(state.args[first]) == code::d ||
                          (first + 1 < state.args.size() && equals_nocase(state.args[first + 1], "release"));
    std::optional<BiosImage> image = open_image(state.input_file, scan_bs1);
    if (!image) {
        console::outf("%s file not found", state.input_file.c_str());
        return 0;
    }

    OptionCode last_code = 0;
    for (;;) {
        state.isa_segment = 0;
        state.lone_code = 0;
        state.group_failed = false;
        OptionCode c = lookup_option(state.args[state.option_index]);
        if (!select_kind(state, c, image->banked)) break;
        last_code = state.code;
        if (run_group(state, *image) == Outcome::EndOfRun) break;
        state.option_index += state.lone_code != 0 ? 1 : 2;
        if (state.code == code::isa && state.isa_segment != 0) state.option_index += 1;
        if (state.option_index >= state.args.size()) break;
        archive_settings().archive_name = "bios.rom";
    }
    return end_of_run(state, image, last_code);
}
