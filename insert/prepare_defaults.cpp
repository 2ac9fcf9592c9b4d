// The default files of the lone switches (the catalogue's DefaultFile rows):
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

#include "common/console.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/work_files.hpp"
#include "insert/executable.hpp"
#include "insert/prepare.hpp"
#include "picture/logo.hpp"

namespace {

constexpr std::size_t kPiece = 0x8000;  // the most of ACPITBL.BIN and of DSDT.AML that is joined

// No prepared member: the "Not found" line where the kind has one.
Preparation not_found(const DefaultFile& d, bool write_failed = false) {
    if (!d.not_found.empty()) console::conf("Not found %s file !!!\n", std::string(d.not_found).c_str());
    return {Prepared::GroupFailed, {}, write_failed};
}

// The body of a default executable, or why there is none.
struct Body {
    std::optional<std::vector<std::uint8_t>> bytes;
    bool write_failed = false;  // it could not be written
};

// The body of the executable d.source (ACPITBL.BIN gets DSDT.AML behind
// it), also left as the file d.body. Nothing, with the message printed,
// when there is none or it cannot be written.
Body write_body(const GroupRequest& group, const DefaultFile& d) {
    const std::string source(d.source), body_name(d.body);
    std::optional<std::vector<std::uint8_t>> exe = read_input_file(source);
    if (!exe) {
        console::conf("%s file open error !!!\n", source.c_str());
        return {};
    }
    std::optional<std::vector<std::uint8_t>> body = component_body(*exe, source);
    if (!body) return {};
    if (d.joins_dsdt) {
        body->resize(std::min(body->size(), kPiece));
        std::vector<std::uint8_t> dsdt = read_input_file("DSDT.AML").value_or(std::vector<std::uint8_t>{});
        body->insert(body->end(), dsdt.begin(),
                     dsdt.begin() + static_cast<std::ptrdiff_t>(std::min(dsdt.size(), kPiece)));
    }
    const Kept kept = keep_group_file(group, body_name.c_str(), *body);
    if (kept != Kept::Yes) return {std::nullopt, kept == Kept::WriteFailed};
    return {std::move(body), false};
}

// A default file used as it stands, or packed.
Preparation prepare_file(const GroupRequest& group, const BiosImage& image, const DefaultFile& d) {
    const std::string source(d.source);
    std::optional<std::vector<std::uint8_t>> file = read_input_file(source);
    if (!file) {
        // A file that goes to the packer is said missing by it.
        if (d.packer_names_it) console::conf("Can't open %s\n", source.c_str());
        return not_found(d);
    }
    Preparation p{Prepared::Ready, {}, false};
    if (d.as_it_stands) {
        p.member.archive = std::move(*file);
        p.member.source = source;
    } else {
        Packed packed = pack_for_group(group, *file, source, false);
        if (!packed.archive) return not_found(d, packed.write_failed);
        p.member.archive = std::move(*packed.archive);
    }
    print_combine(source, image);
    return p;
}

}  // namespace

Preparation prepare_default(const GroupRequest& group, const BiosImage& image) {
    const DefaultFile* d = group.row().default_file;
    if (!d) return {Prepared::Nothing, {}, false};
    if (d->body.empty()) return prepare_file(group, image, *d);
    const Body body = write_body(group, *d);
    if (!body.bytes) return {Prepared::GroupFailed, {}, body.write_failed};
    const std::string body_name(d->body);
    Packed packed;
    if (d->converts_bitmap && is_windows_bitmap(*body.bytes)) {
        const LogoConversion picture = logo_convert(*body.bytes, body_name, LogoMode::Epa, 0, group.no_reserve);
        if (picture.colours != LogoColours::Failed)
            packed = pack_for_group(group, picture.image, work_file::kBitmap, false);
    } else {
        packed = pack_for_group(group, *body.bytes, body_name, false);
    }
    if (!packed.archive) return not_found(*d, packed.write_failed);
    print_combine(body_name, image);
    return {Prepared::Ready, {std::move(*packed.archive), {}, {}}, false};
}
