// Preparation of a RomFile by its kind and content.
#include "insert/prepare.hpp"

#include <cstdio>

#include "archive/extract.hpp"
#include "archive/pack.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "insert/executable.hpp"
#include "insert/logo.hpp"
#include "insert/mib_text.hpp"
#include "insert/rom_checks.hpp"

namespace {

constexpr std::size_t kClassifyBytes = 64;
constexpr std::size_t kJpegPrefix = 16;
constexpr unsigned kStoredVerbose = 255;  // verbose, stored without compression

bool in(OptionCode c, OptionCode first, OptionCode last) { return c >= first && c <= last; }

// Executables of these kinds are components as they stand.
bool keeps_executable_whole(OptionCode c) {
    return in(c, code::oem0, code::oem0 + 7) || in(c, code::biosf0, code::biosf0 + 9);
}

bool is_jpeg(OptionCode c) { return in(c, code::jpeg, code::jpeg3); }

// EPA conversion for /epa, /epa1 and the codes 37 to 48 (/epa2-7, /logo2-6);
// OSB conversion for the OSB kinds; the framed logo conversion otherwise.
LogoColours convert_bitmap(const RunState& state, const BiosImage& image, const std::string& source) {
    const OptionCode c = state.code;
    if (c == code::epa || c == code::epa1 || in(c, 37, 48))
        return logo_convert(source, work_file::kBitmap, LogoMode::Epa,
                            image.logo_flags & ~logo_option::kNoGreyWhiteOrStrip, state.no_reserve);
    const bool osb_bmp = in(c, code::osb_bmp, code::osb_bmp7);
    if (c == code::osb_logo || osb_bmp || in(c, code::osb_logo1, code::osb_logo7)) {
        std::optional<OsbPosition> at;
        if (osb_bmp && state.osb_position_given) at = OsbPosition{state.osb_x, state.osb_y};
        return osb_convert(source, work_file::kBitmap, at);
    }
    return logo_convert(source, work_file::kBitmap, LogoMode::Logo, image.logo_flags, state.no_reserve);
}

// Packs `work` (a work file just written) under the user's name and removes it.
bool pack_work_file(const char* work, unsigned flags, std::string_view stored_name) {
    const bool packed = pack_component(work, flags, stored_name);
    std::remove(work);
    return packed;
}

bool write_work_file(const char* work, std::span<const std::uint8_t> data) {
    if (write_file(work, data)) return true;
    console::conf("Can't write %s\n", work);
    std::remove(work);
    return false;
}

// `record`: the kind fails (a refused bitmap conversion records none).
Preparation run_failed(RunState& state, bool record = true) {
    if (record) state.fail(state.code);
    return {Prepared::RunFailed, {}};
}

}  // namespace

void print_combine(const std::string& file, const BiosImage& image) {
    console::outf("Combine %s file to %s...\n", file.c_str(), image.path.c_str());
}

Preparation prepare_rom_file(RunState& state, const BiosImage& image, File& rom) {
    const OptionCode c = state.code;
    const std::string& name = state.rom_file;
    std::vector<std::uint8_t> head(kClassifyBytes);
    head.resize(rom.read(head));
    rom.close();
    const bool member = head.size() > 4 && head[2] == '-' && head[3] == 'l' && head[4] == 'h';
    const bool bitmap = head.size() >= 2 && head[0] == 'B' && head[1] == 'M';

    Preparation p{Prepared::Ready, {work_file::kArchive, {}}};
    std::optional<std::vector<std::uint8_t>> rom_bytes;  // the ROM the checks read
    bool packed = true;
    if (c == code::nocompress) {
        packed = pack_component(name, pack_flags::kVerbose | pack_flags::kStore);
    } else if (member) {
        p.member.path = name;
        print_combine(name, image);
        if (is_rom_kind(c)) {
            std::remove(work_file::kExpanded);  // a stale expansion must not pass for this one
            extract_archive(name);
            rom_bytes = read_file(work_file::kExpanded, kMaxRomBytes);
        }
    } else if (c == code::mib) {
        std::optional<std::vector<std::uint8_t>> text = read_file(name);
        if (!text) return run_failed(state);
        packed = write_work_file(work_file::kMibText, mib_document(*text)) &&
                 pack_work_file(work_file::kMibText, pack_flags::kVerbose, name);
    } else if (c == code::krvflash) {
        packed = pack_component(name, pack_flags::kVerbose);
    } else if (bitmap) {
        if (convert_bitmap(state, image, name) == LogoColours::Failed) {
            std::remove(work_file::kBitmap);
            return run_failed(state, false);  // the conversion said why; no kind is recorded
        }
        packed = pack_work_file(work_file::kBitmap, pack_flags::kVerbose, name);
    } else if (is_executable(head) && !keeps_executable_whole(c)) {
        std::optional<std::vector<std::uint8_t>> file = read_file(name);
        if (!file) return run_failed(state);
        std::optional<std::vector<std::uint8_t>> found = component_body(*file, name);
        if (!found) return run_failed(state);
        std::vector<std::uint8_t> body = std::move(*found);
        if (is_rom_kind(c))
            rom_bytes = std::vector<std::uint8_t>(
                body.begin(), body.begin() + static_cast<std::ptrdiff_t>(std::min(body.size(), kMaxRomBytes)));
        // The body is packed under the user's name; the user's file stays as it is.
        packed = write_work_file(work_file::kBody, body) && pack_work_file(work_file::kBody, kStoredVerbose, name);
    } else if (is_jpeg(c)) {
        std::optional<std::vector<std::uint8_t>> file = read_file(name);
        if (!file) return run_failed(state);
        file->insert(file->begin(), kJpegPrefix, 0);
        packed = write_work_file(work_file::kJpeg, *file) && pack_work_file(work_file::kJpeg, pack_flags::kVerbose, "");
    } else {
        packed = pack_component(name, pack_flags::kVerbose);
    }
    if (!packed) return run_failed(state);
    if (is_rom_kind(c)) {
        if (!rom_bytes) rom_bytes = read_file(name, kMaxRomBytes);
        p.member.rom = rom_bytes.value_or(std::vector<std::uint8_t>{});
    }
    return p;
}
