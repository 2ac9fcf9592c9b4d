// Extract: the chosen member expanded in memory and written to the name the
// user gave, a picture as a Windows bitmap.
#include <array>
#include <vector>

#include "archive/extract.hpp"
#include "archive/work_files.hpp"
#include "common/bytes.hpp"
#include "common/console.hpp"
#include "common/fatal.hpp"
#include "common/file.hpp"
#include "image/bios_image.hpp"
#include "archive/member_header.hpp"
#include "image/records.hpp"
#include "image/release_extract.hpp"
#include "picture/logo.hpp"

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
        console::conf("The component at %Xh claims %u bytes: too large to extract. %s is unchanged.\n",
                      member.position, claimed, target.c_str());
        return Extraction::Failed;
    }
    const Expansion e = expand_member(std::span(image.bytes).subspan(member.position));
    if (e.status == Expansion::Status::Damaged) fatal(e.damage);  // a damaged member ends the run
    if (e.status == Expansion::Status::UnknownMethod)
        say_unknown_method(e);
    if (e.status != Expansion::Status::Complete) {
        console::conf("Nothing was extracted; %s is unchanged.\n", target.c_str());
        return Extraction::Failed;
    }
    // The CRC the header records, of the bytes as they were stored.
    const std::optional<std::uint16_t> recorded = recorded_crc(header_in_holder(member.header));
    const bool damaged = recorded && e.crc != *recorded;

    std::optional<std::vector<std::uint8_t>> bitmap;
    if (picture) bitmap = logo_to_bmp(e.data, target);  // a picture that is no LogoImage is written as it is
    // A dry run writes into its own folder, but fails where the run would.
    const bool writable = folder.empty() || can_replace(target);
    const std::span<const std::uint8_t> bytes = bitmap ? std::span<const std::uint8_t>(*bitmap) : std::span(e.data);
    if (!writable || !replace_file(work_file_path(folder, target), bytes, AtName::Follow, Flush::ToDisk)) {
        console::conf("Can't write %s; nothing was extracted.\n", target.c_str());
        return Extraction::WriteFailed;
    }
    if (damaged) {
        // The prompt for the name left its line open.
        console::conf("\nCRC error in %s: the extracted bytes are damaged\n", target.c_str());
        return Extraction::CrcError;
    }
    return picture && !bitmap ? Extraction::NoPicture : Extraction::Extracted;
}
