// The default files of the lone switches:
//   /logo     "i:\eprom\D4LOGO.BMP"  used as it stands (a member already)
//   /vsa      "i:\eprom\vsa66.bin"   used as it stands
//   /acpi     "ACPITBL.BIN"          packed
//   /hpm      "SMI.BIN"              packed
//   /cpucode  "CPUCODE.EXE"          its body as "CPUCODE.BIN", packed
//   /hpc      "HPM.EXE"              its body as "HPM.BIN", packed
//   /acpitbl  "ACPITBL.EXE"          its body as "ACPITBL.BIN" with "DSDT.AML" behind it
//   /epa      "KORVAEPA.EXE"         its body as "KORVAEPA.BIN"; a bitmap body is converted
// The bodies of the executables stay in the current directory.
#include <algorithm>

#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "insert/executable.hpp"
#include "picture/logo.hpp"
#include "insert/prepare.hpp"

namespace {

constexpr std::size_t kPiece = 0x8000;  // the most of ACPITBL.BIN and of DSDT.AML that is joined

struct Default {
    OptionCode code;
    const char* source;      // the default file, or the executable whose body is taken
    const char* body;        // where the body goes; nullptr when the source is used itself
    const char* not_found;   // the name the "Not found" line gives; nullptr for none
};

constexpr Default kDefaults[] = {
    {code::logo, "i:\\eprom\\D4LOGO.BMP", nullptr, "i:\\eprom\\D4LOGO.BMP"},
    {code::vsa, "i:\\eprom\\vsa66.bin", nullptr, "i:\\eprom\\vsa66.bin"},
    {code::acpi, "ACPITBL.BIN", nullptr, "ACPITBL.BIN"},
    {code::hpm, "SMI.BIN", nullptr, "SMI.BIN"},
    {code::cpucode, "CPUCODE.EXE", "CPUCODE.BIN", nullptr},
    {code::hpc, "HPM.EXE", "HPM.BIN", nullptr},
    {code::acpitbl, "ACPITBL.EXE", "ACPITBL.BIN", nullptr},
    {code::epa, "KORVAEPA.EXE", "KORVAEPA.BIN", nullptr},
};

const Default* find_default(OptionCode c) {
    for (const Default& d : kDefaults)
        if (d.code == c) return &d;
    return nullptr;
}

// No prepared member: the "Not found" line where the kind has one.
Preparation not_found(RunState& state, const Default& d) {
    if (d.not_found) console::conf("Not found %s file !!!\n", d.not_found);
    state.fail(state.code);
    return {Prepared::GroupFailed, {}};
}

// The body of the executable d.source (ACPITBL.BIN gets DSDT.AML behind
// it), also left as the file d.body. Nothing, with the message printed,
// when there is none or it cannot be written.
std::optional<std::vector<std::uint8_t>> write_body(RunState& state, const Default& d) {
    std::optional<std::vector<std::uint8_t>> exe = read_input_file(d.source);
    if (!exe) {
        console::conf("%s file open error !!!\n", d.source);
        return std::nullopt;
    }
    std::optional<std::vector<std::uint8_t>> body = component_body(*exe, d.source);
    if (!body) return std::nullopt;
    if (state.code == code::acpitbl) {
        body->resize(std::min(body->size(), kPiece));
        std::vector<std::uint8_t> dsdt = read_input_file("DSDT.AML").value_or(std::vector<std::uint8_t>{});
        body->insert(body->end(), dsdt.begin(), dsdt.begin() + static_cast<std::ptrdiff_t>(std::min(dsdt.size(), kPiece)));
    }
    if (!keep_group_file(state, d.body, *body)) return std::nullopt;
    return body;
}

bool starts_with_bm(std::span<const std::uint8_t> data) {
    return data.size() >= 2 && data[0] == 'B' && data[1] == 'M';
}

}  // namespace

Preparation prepare_default(RunState& state, const BiosImage& image) {
    const Default* d = find_default(state.code);
    if (!d) return {Prepared::Nothing, {}};
    if (!d->body) {
        std::optional<std::vector<std::uint8_t>> file = read_input_file(d->source);
        if (!file) {
            // "ACPITBL.BIN" is packed, and the packer says when it is missing.
            if (state.code == code::acpi) console::conf("Can't open %s\n", d->source);
            return not_found(state, *d);
        }
        Preparation p{Prepared::Ready, {}};
        if (state.code == code::logo || state.code == code::vsa) {
            p.member.archive = std::move(*file);
            p.member.source = d->source;
        } else {
            std::optional<std::vector<std::uint8_t>> archive = pack_for_group(state, *file, d->source, false);
            if (!archive) return not_found(state, *d);
            p.member.archive = std::move(*archive);
        }
        print_combine(d->source, image);
        return p;
    }
    std::optional<std::vector<std::uint8_t>> body = write_body(state, *d);
    if (!body) {
        state.fail(state.code);
        return {Prepared::GroupFailed, {}};
    }
    std::optional<std::vector<std::uint8_t>> archive;
    if (state.code == code::epa && starts_with_bm(*body)) {
        const LogoConversion picture = logo_convert(*body, d->body, LogoMode::Epa, 0, state.no_reserve);
        if (picture.colours != LogoColours::Failed)
            archive = pack_for_group(state, picture.image, work_file::kBitmap, false);
    } else {
        archive = pack_for_group(state, *body, d->body, false);
    }
    if (!archive) return not_found(state, *d);
    print_combine(d->body, image);
    return {Prepared::Ready, {std::move(*archive), {}, {}}};
}
