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
#include <cstdio>

#include "archive/pack.hpp"
#include "archive/work_files.hpp"
#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "insert/executable.hpp"
#include "insert/logo.hpp"
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

// The body of the executable d.source written as d.body (ACPITBL.BIN gets
// DSDT.AML behind it). False, with the message printed, when there is none.
bool write_body(RunState& state, const Default& d) {
    std::optional<std::vector<std::uint8_t>> exe = read_file(d.source);
    if (!exe) {
        console::conf("%s file open error !!!\n", d.source);
        return false;
    }
    // No body: no component; an earlier body file of that name must not be taken for it.
    std::optional<std::vector<std::uint8_t>> body = component_body(*exe, d.source);
    if (!body) return false;
    if (state.code == code::acpitbl) {
        body->resize(std::min(body->size(), kPiece));
        std::vector<std::uint8_t> dsdt = read_file("DSDT.AML", kPiece).value_or(std::vector<std::uint8_t>{});
        body->insert(body->end(), dsdt.begin(), dsdt.end());
    }
    if (!write_file(d.body, *body)) {
        console::conf("Can't write %s\n", d.body);
        return false;
    }
    return true;
}

}  // namespace

Preparation prepare_default(RunState& state, const BiosImage& image) {
    const Default* d = find_default(state.code);
    if (!d) return {Prepared::Nothing, {}};
    if (!d->body) {
        // "ACPITBL.BIN" goes to the packer, which says when it is missing;
        // the others are only looked for.
        if (state.code != code::acpi && !file_exists(d->source)) return not_found(state, *d);
        Preparation p{Prepared::Ready, {work_file::kArchive, {}}};
        if (state.code == code::logo || state.code == code::vsa)
            p.member.path = d->source;
        else if (!pack_component(d->source, pack_flags::kVerbose))
            return not_found(state, *d);
        print_combine(d->source, image);
        return p;
    }
    if (!write_body(state, *d)) {
        state.fail(state.code);
        return {Prepared::GroupFailed, {}};
    }
    bool packed = false;
    std::optional<std::vector<std::uint8_t>> head = read_file(d->body, 2);
    if (state.code == code::epa && head && head->size() == 2 && (*head)[0] == 'B' && (*head)[1] == 'M') {
        packed = logo_convert(d->body, work_file::kBitmap, LogoMode::Epa, 0, state.no_reserve) !=
                     LogoColours::Failed &&
                 pack_component(work_file::kBitmap, pack_flags::kVerbose);
        std::remove(work_file::kBitmap);
    } else {
        packed = pack_component(d->body, pack_flags::kVerbose);
    }
    if (!packed) return not_found(state, *d);
    print_combine(d->body, image);
    return {Prepared::Ready, {work_file::kArchive, {}}};
}
