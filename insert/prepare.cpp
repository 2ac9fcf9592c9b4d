// Preparation of a RomFile by its kind and content.
#include "insert/prepare.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "archive/extract.hpp"
#include "archive/pack.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "insert/executable.hpp"
#include "picture/logo.hpp"
#include "insert/mib_text.hpp"
#include "insert/rom_checks.hpp"

namespace {

constexpr std::size_t kJpegPrefix = 16;

bool in(OptionCode c, OptionCode first, OptionCode last) { return c >= first && c <= last; }

// Executables of these kinds are components as they stand.
bool keeps_executable_whole(OptionCode c) {
    return in(c, code::oem0, code::oem0 + 7) || in(c, code::biosf0, code::biosf0 + 9);
}

bool is_jpeg(OptionCode c) { return in(c, code::jpeg, code::jpeg3); }

// EPA conversion for /epa, /epa1 and the codes 37 to 48 (/epa2-7, /logo2-6);
// OSB conversion for the OSB kinds; the framed logo conversion otherwise.
LogoConversion convert_bitmap(const RunState& state, const BiosImage& image, std::span<const std::uint8_t> bitmap) {
    const OptionCode c = state.code;
    const std::string& name = state.rom_file;
    if (c == code::epa || c == code::epa1 || in(c, 37, 48))
        return logo_convert(bitmap, name, LogoMode::Epa, image.logo_flags & ~logo_option::kNoGreyWhiteOrStrip,
                            state.no_reserve);
    const bool osb_bmp = in(c, code::osb_bmp, code::osb_bmp7);
    if (c == code::osb_logo || osb_bmp || in(c, code::osb_logo1, code::osb_logo7)) {
        std::optional<OsbPosition> at;
        if (osb_bmp && state.osb_position_given) at = OsbPosition{state.osb_x, state.osb_y};
        return osb_convert(bitmap, name, at);
    }
    return logo_convert(bitmap, name, LogoMode::Logo, image.logo_flags, state.no_reserve);
}

// The first 128 KiB of `data`: what the ROM checks read.
std::vector<std::uint8_t> rom_part(std::span<const std::uint8_t> data) {
    return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), kMaxRomBytes))};
}

// The kind fails and the run ends (the message is printed).
Preparation run_failed(RunState& state) {
    state.fail(state.code);
    return {Prepared::RunFailed, {}};
}

}  // namespace

void print_combine(const std::string& file, const BiosImage& image) {
    console::outf("Combine %s file to %s...\n", file.c_str(), image.path.c_str());
}

bool keep_group_file(RunState& state, const char* name, std::span<const std::uint8_t> data) {
    // The group's own file is never replaced by a work file made from it.
    std::error_code ec;
    if (!state.rom_file.empty() && std::filesystem::equivalent(state.rom_file, name, ec)) {
        console::conf("Can't pack %s: it is the work file %s\n", state.rom_file.c_str(), name);
        return false;
    }
    if (keep_work_file(name, data)) return true;
    state.write_failed = true;
    return false;
}

std::optional<std::vector<std::uint8_t>> pack_for_group(RunState& state, std::span<const std::uint8_t> input,
                                                        const std::string& name, bool store) {
    std::optional<std::vector<std::uint8_t>> archive =
        pack_member(input, {.type_id = state.type_id, .name = name, .verbose = true, .store = store});
    if (!archive || !keep_group_file(state, work_file::kArchive, *archive)) return std::nullopt;
    return archive;
}

Preparation prepare_rom_file(RunState& state, const BiosImage& image) {
    const OptionCode c = state.code;
    const std::string& name = state.rom_file;
    const std::vector<std::uint8_t>& file = state.rom_bytes;
    const bool member = file.size() > 4 && file[2] == '-' && file[3] == 'l' && file[4] == 'h';
    const bool bitmap = file.size() >= 2 && file[0] == 'B' && file[1] == 'M';

    std::optional<std::vector<std::uint8_t>> archive;
    std::optional<std::vector<std::uint8_t>> rom;  // the ROM the checks read
    if (c == code::nocompress) {
        archive = pack_for_group(state, file, name, true);
    } else if (member) {
        archive = file;
        print_combine(name, image);
        if (is_rom_kind(c)) {
            // The ROM inside, for the checks; its expansion is left as "original.tmp".
            const Expansion e = expand_member(file, kMaxInputFile);
            if (e.status == Expansion::Status::Damaged) fatal(e.damage);  // a damaged member ends the run
            if (e.status == Expansion::Status::UnknownMethod)
                console::conf("Unknown method: %u\n", static_cast<unsigned>(static_cast<unsigned char>(e.header.method[3])));
            if (!keep_group_file(state, work_file::kExpanded, e.data)) return run_failed(state);
            rom = rom_part(e.data);
        }
    } else if (c == code::mib) {
        archive = pack_for_group(state, mib_document(file), name, false);
    } else if (c == code::krvflash) {
        archive = pack_for_group(state, file, name, false);
    } else if (bitmap) {
        const LogoConversion picture = convert_bitmap(state, image, file);
        if (picture.colours == LogoColours::Failed) return run_failed(state);  // the conversion said why
        archive = pack_for_group(state, picture.image, name, false);
    } else if (is_executable(file) && !keeps_executable_whole(c)) {
        // The body, stored under the user's name; the user's file stays as it is.
        std::optional<std::vector<std::uint8_t>> body = component_body(file, name);
        if (!body) return run_failed(state);
        rom = rom_part(*body);
        archive = pack_for_group(state, *body, name, true);
    } else if (is_jpeg(c)) {
        std::vector<std::uint8_t> prefixed(kJpegPrefix, 0);
        prefixed.insert(prefixed.end(), file.begin(), file.end());
        archive = pack_for_group(state, prefixed, work_file::kJpeg, false);
    } else {
        archive = pack_for_group(state, file, name, false);
    }
    if (!archive) return run_failed(state);
    Preparation p{Prepared::Ready, {std::move(*archive), member ? name : std::string(), {}}};
    if (is_rom_kind(c)) p.member.rom = rom ? std::move(*rom) : rom_part(file);
    return p;
}
