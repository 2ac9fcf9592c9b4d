// Extract: the chosen member written to the name the user gave, expanded
// straight into the file, a picture through memory as a Windows bitmap.
#include <array>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/extract.hpp"
#include "archive/member_header.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "image/records.hpp"
#include "image/release_extract.hpp"
#include "image/work_files.hpp"
#include "picture/logo.hpp"

namespace {

bool write_to_replacement(void* context, std::span<const std::uint8_t> piece) {
    return write_piece(*static_cast<FileReplacement*>(context), piece);
}

// How an expansion that is not whole ends the extract; nothing when it is whole.
std::optional<Extraction> unless_whole(const Expansion& e, const std::string& target) {
    if (e.status == Expansion::Status::Damaged) fatal(e.damage);  // a damaged member ends the run
    if (e.status == Expansion::Status::UnknownMethod) say_unknown_method(e, console::voice());
    if (e.status == Expansion::Status::Complete) return std::nullopt;
    console::conf("Nothing was extracted; %s is unchanged.\n", target.c_str());
    return Extraction::Failed;
}

Extraction cannot_write(const std::string& target) {
    console::conf("Can't write %s; nothing was extracted.\n", target.c_str());
    return Extraction::WriteFailed;
}

// A picture: expanded in memory, for the conversion to a bitmap.
Extraction extract_picture(const BiosImage& image, const ChainMember& member, const std::string& target,
                           const std::string& folder, bool& damaged) {
    const Expansion e = expand_member(std::span(image.bytes).subspan(member.position), SIZE_MAX, console::voice());
    if (const std::optional<Extraction> ended = unless_whole(e, target)) return *ended;
    const std::optional<std::uint16_t> recorded = recorded_crc(header_in_holder(member.header));
    damaged = recorded && e.crc != *recorded;
    const std::optional<std::vector<std::uint8_t>> bitmap = logo_to_bmp(e.data, target);  // else written as it is
    // A dry run writes into its own folder, but fails where the run would.
    const bool writable = folder.empty() || can_replace(target);
    const std::span<const std::uint8_t> bytes = bitmap ? std::span<const std::uint8_t>(*bitmap) : std::span(e.data);
    if (!writable || !replace_file(work_file_path(folder, target), bytes, AtName::Follow, Flush::ToDisk))
        return cannot_write(target);
    return bitmap ? Extraction::Extracted : Extraction::NoPicture;
}

// Any other member: expanded straight into the file that replaces the
// target, a window at a time, so that no expansion is held whole.
Extraction extract_streamed(const BiosImage& image, const ChainMember& member, const std::string& target,
                            const std::string& folder, bool& damaged) {
    if (!folder.empty() && !can_replace(target)) return cannot_write(target);
    const std::unique_ptr<FileReplacement> out = begin_replace(work_file_path(folder, target));
    if (!out) return cannot_write(target);
    const Expansion e = expand_member_to_sink(std::span(image.bytes).subspan(member.position),
                                              {write_to_replacement, out.get()}, SIZE_MAX, console::voice());
    if (e.status == Expansion::Status::Damaged && std::string_view(e.damage) == "Unable to write")
        return cannot_write(target);
    if (const std::optional<Extraction> ended = unless_whole(e, target)) return *ended;
    const std::optional<std::uint16_t> recorded = recorded_crc(header_in_holder(member.header));
    damaged = recorded && e.crc != *recorded;
    if (!commit_replace(*out, Flush::ToDisk)) return cannot_write(target);
    return Extraction::Extracted;
}

}  // namespace

Extraction extract_member(const BiosImage& image, const ChainMember& member, bool picture, const std::string& target,
                          const std::string& folder) {
    // A pipe, a device or a folder at the target is no file to write: a
    // pipe with no reader would hold the run for ever.
    if (!is_file_or_nothing(target)) {
        console::conf("Can't write %s: a pipe, a device or a folder; nothing was extracted.\n",
                      console::shown(target).c_str());
        return Extraction::WriteFailed;
    }
    const std::uint32_t claimed = original_size(member.header);
    if (claimed > member::kMaxMemberSize) {
        console::conf("The component at %Xh claims %u bytes: too large to extract. %s is unchanged.\n", member.position,
                      claimed, target.c_str());
        return Extraction::Failed;
    }
    // The CRC the header records is that of the bytes as they were stored.
    bool damaged = false;
    const Extraction done = picture ? extract_picture(image, member, target, folder, damaged)
                                    : extract_streamed(image, member, target, folder, damaged);
    if (done != Extraction::Extracted && done != Extraction::NoPicture) return done;
    if (damaged) {
        // The prompt for the name left its line open.
        console::conf("\nCRC error in %s: the extracted bytes are damaged\n", target.c_str());
        return Extraction::CrcError;
    }
    return done;
}
