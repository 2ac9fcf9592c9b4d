// Preparation of a RomFile by its kind and content.
#include "insert/prepare.hpp"

#include <algorithm>
#include <system_error>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "archive/pack.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/work_files.hpp"
#include "insert/executable.hpp"
#include "insert/mib_text.hpp"
#include "insert/rom_checks.hpp"
#include "picture/logo.hpp"

namespace {

constexpr std::size_t kJpegPrefix = 16;

// The conversion the kind gives a bitmap.
LogoConversion convert_bitmap(const GroupRequest& group, const BiosImage& image, std::span<const std::uint8_t> bitmap) {
    const std::string& name = group.rom_file;
    switch (group.row().picture) {
    case Picture::Epa:
        return logo_convert(bitmap, name, LogoMode::Epa, image.logo_flags & ~logo_option::kNoGreyWhiteOrStrip,
                            group.no_reserve);
    case Picture::Osb: return osb_convert(bitmap, name, std::nullopt);
    case Picture::OsbWithPosition: return osb_convert(bitmap, name, group.osb_position);
    case Picture::Logo: break;
    }
    return logo_convert(bitmap, name, LogoMode::Logo, image.logo_flags, group.no_reserve);
}

// The first 128 KiB of `data`: what the ROM checks read.
std::vector<std::uint8_t> rom_part(std::span<const std::uint8_t> data) {
    return {data.begin(), data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), kMaxRomBytes))};
}

// A member file used as it stands; for an option ROM kind also the ROM
// inside it, for the checks, its expansion left as "original.tmp".
Packed as_member(const GroupRequest& group, const BiosImage& image) {
    print_combine(group.rom_file, image);
    Packed p;
    if (group.row().family) {
        const Expansion e = expand_member(group.rom_bytes, member::kMaxMemberSize, console::voice());
        if (e.status == Expansion::Status::Damaged) fatal(e.damage);  // a damaged member ends the run
        if (e.status == Expansion::Status::UnknownMethod) say_unknown_method(e, console::voice());
        const Kept kept = keep_group_file(group, work_file::kExpanded, e.data);
        p.write_failed = kept == Kept::WriteFailed;
        if (kept != Kept::Yes) return p;
        p.rom = rom_part(e.data);
    }
    p.archive = group.rom_bytes;
    return p;
}

// The archive of a file that is no member, by the kind's preparation and
// its content; an executable's body is the ROM the checks read.
Packed packed_file(const GroupRequest& group, const BiosImage& image) {
    const std::vector<std::uint8_t>& file = group.rom_bytes;
    const std::string& name = group.member_name();
    const FilePreparation how = group.row().preparation;
    const bool bitmap = is_windows_bitmap(file);
    if (how == FilePreparation::TextDocument) return pack_for_group(group, mib_document(file), name, false);
    if (how == FilePreparation::Raw) return pack_for_group(group, file, name, false);
    if (bitmap) {
        const LogoConversion picture = convert_bitmap(group, image, file);
        if (picture.colours == LogoColours::Failed) return {};  // the conversion said why
        return pack_for_group(group, picture.image, name, false);
    }
    if (is_executable(file) && how != FilePreparation::WholeExecutables) {
        // The body, stored under the user's name; the user's file stays as it is.
        std::optional<std::vector<std::uint8_t>> body = component_body(file, group.rom_file);
        if (!body) return {};
        Packed p = pack_for_group(group, *body, name, true);
        p.rom = rom_part(*body);
        return p;
    }
    if (how == FilePreparation::JpegPrefix) {
        std::vector<std::uint8_t> prefixed(kJpegPrefix, 0);
        prefixed.insert(prefixed.end(), file.begin(), file.end());
        return pack_for_group(group, prefixed, group.stored_name.empty() ? std::string(work_file::kJpeg) : name, false);
    }
    return pack_for_group(group, file, name, false);
}

}  // namespace

void print_combine(const std::string& file, const BiosImage& image) {
    console::outf("Combine %s file to %s...\n", file.c_str(), image.path.c_str());
}

Packed pack_for_group(const GroupRequest& group, std::span<const std::uint8_t> input, const std::string& name,
                      bool store, std::string_view type_id) {
    Packed p;
    std::optional<std::vector<std::uint8_t>> archive =
        pack_member(input, {.type_id = type_id.empty() ? group.type_id : std::string(type_id),
                            .name = name,
                            .verbose = true,
                            .store = store,
                            .encoder = group.best ? Encoder::Best : Encoder::Exact,
                            .voice = console::voice()});
    if (!archive) return p;
    const Kept kept = keep_group_file(group, work_file::kArchive, *archive);
    p.write_failed = kept == Kept::WriteFailed;
    p.refused = kept == Kept::Refused;
    if (kept == Kept::Yes) p.archive = std::move(archive);
    return p;
}

Preparation prepare_rom_file(const GroupRequest& group, const BiosImage& image) {
    const std::vector<std::uint8_t>& file = group.rom_bytes;
    const bool member = holds_member(read_member_head(file, 0));
    const bool stored = group.row().preparation == FilePreparation::Stored;
    // A member is used as it stands: its header keeps the name it has.
    if (member && !stored && !group.stored_name.empty()) {
        console::conf("%s is a member already: it keeps its stored name; name=%s is refused, nothing is added.\n",
                      group.rom_file.c_str(), group.stored_name.c_str());
        return {Prepared::RunFailed, {}, false};
    }
    if (member && !stored && original_size(read_member_head(file, 0)) > member::kMaxMemberSize) {
        console::conf("%s is a member of %u bytes, more than the %zu a component may hold; nothing is added.\n",
                      group.rom_file.c_str(), original_size(read_member_head(file, 0)), member::kMaxMemberSize);
        return {Prepared::RunFailed, {}, false};
    }
    Packed p = stored   ? pack_for_group(group, file, group.member_name(), true)
               : member ? as_member(group, image)
                        : packed_file(group, image);
    if (!p.archive) return {Prepared::RunFailed, {}, p.write_failed};
    Preparation ready{Prepared::Ready, {std::move(*p.archive), member ? group.rom_file : std::string(), {}}, false};
    if (group.row().family) ready.member.rom = p.rom ? std::move(*p.rom) : rom_part(file);
    return ready;
}
